#pragma once

#include <QObject>
#include <QVariantMap>
#include <functional>

namespace Vantorel {

// The application's start-up, notification-click and termination hooks, called by VantorelApp
// in the order the platform would call them.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Registered before anything reads them; the user's own values win.
    static QVariantMap launchDefaults();

    explicit AppDelegate(QObject *parent = nullptr);

    // Set by the main window each time it appears; holds the view model weakly.
    std::function<void()> onReceiveNotification;

    void applicationWillFinishLaunching();
    // Asks for notification permission (logged when the answer comes) and starts analytics
    // without waiting for that answer; points an open-at-login entry at this program.
    void applicationDidFinishLaunching();
    // Writes the seen-review marks.
    void applicationWillTerminate();
    // Closing the last window ends the program, also while the status item is shown.
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
    // A delivered notification was clicked; what it says does not matter.
    void userNotificationClicked();

private:
    void updateLoginItem();
};

}  // namespace Vantorel
