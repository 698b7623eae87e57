#pragma once

#include "platform/ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

// placeOnScreens on the screens the display has now. Inline, for the programs' GUI code: the
// platform library itself does not link the GUI module.
inline std::optional<QRect> placeOnPresentScreens(const QRect &window)
{
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return placeOnScreens(window, areas);
}

}  // namespace platform
