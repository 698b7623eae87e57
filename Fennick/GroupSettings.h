#pragma once

#include "Fennick/GroupIdentifier.h"

#include <QString>

namespace Fennick {

// The download times that the application and the widget share through their app group, in
// seconds since 1 January 2001 00:00 UTC; 0 when never written. Safe from any thread.
class GroupSettings {
public:
    GroupSettings() = delete;

    static inline const QString &suiteName = appGroupIdentifier;

    // When the application last finished a sync.
    static double lastFullDownloadDate();
    static void setLastFullDownloadDate(double seconds);

    // When the widget last ran its own import.
    static double lastLiteDownloadDate();
    static void setLastLiteDownloadDate(double seconds);

    // The later of the two.
    static double mostRecentDownloadDate();
};

}  // namespace Fennick
