#pragma once

#include <QList>
#include <QRect>
#include <optional>

namespace platform {

// Where a window kept from an earlier run goes now, given the available areas of the screens
// present: wholly inside the area of the screen it overlaps most, moved no further than that
// takes and made smaller only where it is bigger than the area. Nothing when it overlaps no
// present screen (its screen is gone); the caller then uses its default place.
std::optional<QRect> placeOnScreens(const QRect &window, const QList<QRect> &availableAreas);

}  // namespace platform
