#pragma once

#include <QObject>
#include <QString>

namespace platform {

// Stand-in for a software-update framework. On this system the package manager updates the
// program, so a check finds nothing to do; it asks the program to tell the user so.
class Updater : public QObject {
    Q_OBJECT
public:
    // The process's updater, made at first use.
    static Updater *sharedUpdater();

    bool automaticallyChecksForUpdates() const { return m_automaticChecks; }
    // Kept for the process; no check ever runs in the background.
    void setAutomaticallyChecksForUpdates(bool value);

    // Emits noticeRequested with the text that says where updates come from.
    void checkForUpdates();

signals:
    // The program shows this to the user (the updater itself has no windows).
    void noticeRequested(const QString &title, const QString &text, const QString &details);

private:
    Updater() = default;
    bool m_automaticChecks = false;
};

}  // namespace platform
