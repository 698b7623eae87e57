#include "platform/notifications/UserNotificationCenter.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QHash>
#include <QLoggingCategory>
#include <QPromise>
#include <QUuid>
#include <QVariantMap>

namespace platform {
namespace {

Q_LOGGING_CATEGORY(lcNotifications, "Vantorel.notifications", QtInfoMsg)

const QString interfaceName = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

struct UserNotificationCenter::Private {
    QDBusConnection connection;
    QString privateConnectionName;  // set for a connection of our own, closed with the centre
    int timeout = defaultTimeoutMilliseconds;
    // Server id -> our identifier. Kept for the centre's life: some desktops report a notification
    // closed when it leaves the screen, yet a click in their message list still comes later.
    QHash<uint, QString> shown;

    explicit Private(QDBusConnection bus) : connection(std::move(bus)) {}

    // Clicks arrive as a signal of the server, whoever owns its name at the time.
    void attach(UserNotificationCenter *center)
    {
        if (!connection.isConnected()) {
            qCWarning(lcNotifications, "No session bus, so no notifications: %s",
                      qUtf8Printable(connection.lastError().message()));
        }
        connection.connect(serviceName, objectPath, interfaceName, QStringLiteral("ActionInvoked"), center,
                           SLOT(handleActionInvoked(uint, QString)));
    }

    QDBusPendingCall call(const QString &method, const QVariantList &arguments) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, method);
        message.setArguments(arguments);
        // A server that does not answer fails the call after the timeout.
        return connection.asyncCall(message, timeout);
    }
};

UserNotificationCenter &UserNotificationCenter::current()
{
    static UserNotificationCenter *center = new UserNotificationCenter;
    return *center;
}

UserNotificationCenter::UserNotificationCenter(QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(QDBusConnection::sessionBus()))
{
    d->attach(this);
}

UserNotificationCenter::UserNotificationCenter(const QString &busAddress, QObject *parent) : QObject(parent)
{
    const QString name = QStringLiteral("vantorel-notifications-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    d = std::make_unique<Private>(QDBusConnection::connectToBus(busAddress, name));
    d->privateConnectionName = name;
    d->attach(this);
}

UserNotificationCenter::~UserNotificationCenter()
{
    d->connection.disconnect(serviceName, objectPath, interfaceName, QStringLiteral("ActionInvoked"), this,
                             SLOT(handleActionInvoked(uint, QString)));
    if (!d->privateConnectionName.isEmpty()) {
        const QString name = d->privateConnectionName;
        d.reset();
        QDBusConnection::disconnectFromBus(name);
    }
}

void UserNotificationCenter::setTimeout(int milliseconds)
{
    d->timeout = milliseconds;
}

QFuture<bool> UserNotificationCenter::requestAuthorization()
{
    if (!d->connection.isConnected()) {
        // A call on a closed connection never reports back, so it is not made.
        qCWarning(lcNotifications, "No notification server: there is no session bus");
        return QtFuture::makeReadyFuture(false);
    }
    auto promise = std::make_shared<QPromise<bool>>();
    QFuture<bool> future = promise->future();
    promise->start();
    // Pending calls and watchers are children of the centre: when it goes first, the promise is
    // released with them and the future is cancelled.
    auto *watcher = new QDBusPendingCallWatcher(d->call(QStringLiteral("GetServerInformation"), {}), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, promise] {
        watcher->deleteLater();
        const bool answered = !watcher->isError();
        if (!answered) {
            qCWarning(lcNotifications, "No notification server: %s", qUtf8Printable(watcher->error().message()));
        }
        promise->addResult(answered);
        promise->finish();
    });
    return future;
}

QFuture<void> UserNotificationCenter::add(const QString &identifier, const QString &title, const QString &body)
{
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    promise->start();
    if (!d->connection.isConnected()) {
        qCWarning(lcNotifications, "Could not show a notification: there is no session bus");
        promise->setException(Error(UserNotificationError::domain, UserNotificationError::NoSessionBus,
                                    QStringLiteral("There is no session bus.")));
        promise->finish();
        return future;
    }
    const QStringList actions{defaultAction, QCoreApplication::translate("UserNotificationCenter", "Open")};
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopEntry}};
    const QVariantList arguments{QCoreApplication::applicationName(), 0u, QString(), title, body, actions, hints,
                                 -1 /* the server's own expiry */};
    auto *watcher = new QDBusPendingCallWatcher(d->call(QStringLiteral("Notify"), arguments), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, promise, identifier] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) {
            qCWarning(lcNotifications, "Could not show a notification: %s", qUtf8Printable(reply.error().message()));
            promise->setException(Error(UserNotificationError::domain, UserNotificationError::ServerFailure,
                                        reply.error().message()));
        } else {
            d->shown.insert(reply.value(), identifier);
        }
        promise->finish();
    });
    return future;
}

void UserNotificationCenter::handleActionInvoked(uint id, const QString &actionKey)
{
    // Every notification on the desktop comes through here; only ours count.
    const auto found = d->shown.constFind(id);
    if (found == d->shown.cend() || actionKey != defaultAction)
        return;
    emit activated(*found);
}

}  // namespace platform
