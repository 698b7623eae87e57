#pragma once

#include <QObject>

namespace platform {

// Stand-in for a software-update framework. On this system the package manager updates the
// program, so the updater only tells the user so when asked to check.
class Updater : public QObject {
    Q_OBJECT
public:
    // The process's updater, made at first use.
    static Updater *sharedUpdater();

    bool automaticallyChecksForUpdates() const { return m_automaticChecks; }
    // Kept for the process; no check ever runs in the background.
    void setAutomaticallyChecksForUpdates(bool value);

    // Shows a message (not modal) that updates come from the system's package manager; a
    // second call while it shows brings it to the front.
    void checkForUpdates();

private:
    Updater() = default;
    bool m_automaticChecks = false;
};

}  // namespace platform
