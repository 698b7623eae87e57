#pragma once

#include <QString>

namespace Fennick {

// The app group that the application and the widget share: store, settings and icons.
inline const QString appGroupIdentifier = QStringLiteral("group.Q4ZN7WX2LB.com.Vantorel.Vantorel.Group");

}  // namespace Fennick
