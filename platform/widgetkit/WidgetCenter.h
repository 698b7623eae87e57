#pragma once

#include <QString>

namespace platform::widgetkit {

// Lets the application ask a running widget host for new timelines.
class WidgetCenter {
public:
    // Does nothing when no widget host runs for this user. Returns at once: the message goes out
    // from the application's event loop, so a host that is slow to answer never holds the caller.
    static void reloadAllTimelines();
    // The local socket a host listens on; one per user home folder.
    static QString serverName();
    static inline const QByteArray reloadMessage = QByteArrayLiteral("reloadAllTimelines\n");
};

}  // namespace platform::widgetkit
