#pragma once

#include "platform/Error.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <memory>

namespace platform {

namespace UserNotificationError {
inline const QString domain = QStringLiteral("platform.UserNotifications");

enum Code : qint64 {
    // No session bus to reach a notification server on.
    NoSessionBus = 1,
    // No server answered in time, or it refused; the text is the bus's or the server's own.
    ServerFailure = 2,
};
}  // namespace UserNotificationError

// Desktop notifications through the freedesktop notification server
// (org.freedesktop.Notifications on the session bus). No call waits: every answer arrives as a
// future on the centre's thread, and a server that does not answer fails the call after a short
// timeout. Without a server, calls fail (and are logged) and nothing else happens. Use it on the
// thread that made it, normally the GUI thread.
class UserNotificationCenter : public QObject {
    Q_OBJECT
public:
    static inline const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");
    // Lets the desktop tie our notifications to the program's .desktop file (name and icon).
    static inline const QString desktopEntry = QStringLiteral("vantorel");
    static inline const QString defaultAction = QStringLiteral("default");
    static constexpr int defaultTimeoutMilliseconds = 3000;

    // The process's centre on the session bus, made on first use.
    static UserNotificationCenter &current();

    // A centre on the session bus.
    explicit UserNotificationCenter(QObject *parent = nullptr);
    // A centre on the bus at `busAddress` (a private bus in tests).
    explicit UserNotificationCenter(const QString &busAddress, QObject *parent = nullptr);
    ~UserNotificationCenter() override;

    // True when a notification server answers; never fails.
    QFuture<bool> requestAuthorization();
    // Shows a notification now; a click on it is reported through activated(identifier).
    // Finishes once the server has taken it; fails with a platform::Error of
    // UserNotificationError when there is no server or it refuses.
    QFuture<void> add(const QString &identifier, const QString &title, const QString &body);

    // How long a call may wait for the server's answer.
    void setTimeout(int milliseconds);

signals:
    // The user clicked a notification that this centre showed.
    void activated(const QString &identifier);

private slots:
    void handleActionInvoked(uint id, const QString &actionKey);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace platform
