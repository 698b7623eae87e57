#pragma once

#include <QString>
#include <optional>

namespace platform::AppGroup {

// The folder that the application and the widget share, created on first use under the user's
// data folder. Nothing when it cannot be created: callers then fall back to their own folders.
// A folder that exists is returned even when it cannot be written.
std::optional<QString> containerPath(const QString &groupIdentifier);

}  // namespace platform::AppGroup
