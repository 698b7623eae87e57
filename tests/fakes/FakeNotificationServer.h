#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>
#include <memory>

namespace fakes {

// A D-Bus daemon of the test's own, so that the names a test registers are its alone whatever
// else runs on the session bus at the same time.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // Empty when the daemon could not be started.
    const QString &address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

struct ReceivedNotification {
    uint id = 0;
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expireTimeout = 0;
};

// A stand-in for the desktop's notification server (org.freedesktop.Notifications) on a given
// bus. Lives on the thread that made it and answers there.
class FakeNotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    enum class Mode {
        answer,  // takes every notification
        refuse,  // answers Notify with an error
        silent,  // never answers Notify
    };

    explicit FakeNotificationServer(const QString &busAddress, QObject *parent = nullptr);
    ~FakeNotificationServer() override;

    // True once the object and the well-known name are registered.
    bool isRegistered() const { return m_registered; }
    void setMode(Mode mode) { m_mode = mode; }

    const QList<ReceivedNotification> &notifications() const { return m_notifications; }
    int serverInformationRequests() const { return m_serverInformationRequests; }

    // Sends ActionInvoked for `id`, as a click on the notification does.
    void invokeAction(uint id, const QString &actionKey = QStringLiteral("default"));

public slots:
    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion);
    QStringList GetCapabilities();
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int expireTimeout);
    void CloseNotification(uint id);

signals:
    // After each Notify call, whatever the mode.
    void notified(const fakes::ReceivedNotification &notification);

private:
    QString m_connectionName;
    bool m_registered = false;
    Mode m_mode = Mode::answer;
    uint m_nextId = 1;
    int m_serverInformationRequests = 0;
    QList<ReceivedNotification> m_notifications;
    QList<QDBusMessage> m_unanswered;
};

}  // namespace fakes
