#include "FakeNotificationServer.h"

#include <QDBusConnectionInterface>
#include <QUuid>

namespace fakes {

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
}  // namespace

PrivateBus::PrivateBus()
{
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    m_daemon.setStandardErrorFile(QProcess::nullDevice());  // complaints about fd limits and the like
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000))
        return;
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000))
            m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

FakeNotificationServer::FakeNotificationServer(const QString &busAddress, QObject *parent)
    : QObject(parent), m_connectionName(QStringLiteral("fake-notifications-") + QUuid::createUuid().toString())
{
    QDBusConnection connection = QDBusConnection::connectToBus(busAddress, m_connectionName);
    m_registered = connection.isConnected() && connection.registerObject(path, this, QDBusConnection::ExportAllSlots)
                   && connection.registerService(service);
}

FakeNotificationServer::~FakeNotificationServer()
{
    {
        QDBusConnection connection(m_connectionName);
        connection.unregisterService(service);
        connection.unregisterObject(path);
    }
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void FakeNotificationServer::invokeAction(uint id, const QString &actionKey)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, service, QStringLiteral("ActionInvoked"));
    signal << id << actionKey;
    QDBusConnection(m_connectionName).send(signal);
}

QString FakeNotificationServer::GetServerInformation(QString &vendor, QString &version, QString &specVersion)
{
    ++m_serverInformationRequests;
    vendor = QStringLiteral("Vantorel tests");
    version = QStringLiteral("1.0");
    specVersion = QStringLiteral("1.2");
    return QStringLiteral("fake-notifications");
}

QStringList FakeNotificationServer::GetCapabilities()
{
    return {QStringLiteral("actions"), QStringLiteral("body")};
}

uint FakeNotificationServer::Notify(const QString &appName, uint replacesId, const QString &appIcon,
                                    const QString &summary, const QString &body, const QStringList &actions,
                                    const QVariantMap &hints, int expireTimeout)
{
    ReceivedNotification received{0, appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout};
    switch (m_mode) {
    case Mode::answer:
        received.id = m_nextId++;
        break;
    case Mode::refuse:
        sendErrorReply(QDBusError::Failed, QStringLiteral("Notifications are turned off"));
        break;
    case Mode::silent:
        setDelayedReply(true);
        m_unanswered.append(message());
        break;
    }
    m_notifications.append(received);
    emit notified(received);
    return received.id;
}

void FakeNotificationServer::CloseNotification(uint /*id*/) {}

}  // namespace fakes
