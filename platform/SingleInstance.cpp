#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QtEndian>

namespace platform {

namespace {

constexpr char acknowledgement = '\x01';
constexpr int headerSize = sizeof(quint32);
// A sender that connects and then says nothing is dropped after this long.
constexpr int receiveTimeoutMs = 5000;

QString homeTag()
{
    // Two homes (a test's and the user's) are two separate sets of data, so two instances.
    return QString::number(qHash(QFile::encodeName(QDir::homePath())), 16);
}

bool makeUserOnlyFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace

SingleInstance::SingleInstance(const QString &name, const QString &folder, QObject *parent) : QObject(parent)
{
    const QString base = (folder.isEmpty() ? defaultFolder() : folder) + u'/' + name + u'-' + homeTag();
    m_socketPath = base + QStringLiteral(".socket");
    m_lockPath = base + QStringLiteral(".lock");
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();  // removes the socket file
}

QString SingleInstance::defaultFolder()
{
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime + QStringLiteral("/vantorel");
}

bool SingleInstance::claim()
{
    const QString folder = QFileInfo(m_lockPath).absolutePath();
    if (!makeUserOnlyFolder(folder)) {
        fprintf(stderr, "Cannot use %s; running without a single-instance guard.\n", qPrintable(folder));
        m_primary = true;
        return true;
    }
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    m_lock->setStaleLockTime(0);  // only a lock whose process is gone is stale, never an old one
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
        fprintf(stderr, "Cannot take %s; running without a single-instance guard.\n", qPrintable(m_lockPath));
        m_primary = true;
        return true;
    }
    m_primary = true;

    // We hold the lock, so a socket file here was left by a process that died.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        fprintf(stderr, "Cannot listen on %s: %s\n", qPrintable(m_socketPath),
                qPrintable(m_server->errorString()));
        return true;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(receiveTimeoutMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < headerSize)
                return;
            quint32 length = 0;
            socket->peek(reinterpret_cast<char *>(&length), headerSize);
            length = qFromBigEndian(length);
            if (length > maximumMessageSize) {
                socket->abort();
                return;
            }
            if (socket->bytesAvailable() < headerSize + qint64(length))
                return;
            socket->skip(headerSize);
            const QByteArray message = socket->read(length);
            socket->write(&acknowledgement, 1);
            socket->flush();
            socket->disconnectFromServer();
            emit messageReceived(message);
        });
    }
}

bool SingleInstance::sendToPrimary(const QByteArray &message, std::chrono::milliseconds timeout) const
{
    if (message.size() > maximumMessageSize)
        return false;
    QByteArray packet(headerSize, Qt::Uninitialized);
    qToBigEndian(quint32(message.size()), packet.data());
    packet += message;

    const QDeadlineTimer deadline(timeout);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(packet);
            socket.waitForBytesWritten(int(deadline.remainingTime()));
            // The answer comes only after the whole message was read.
            while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState &&
                   !deadline.hasExpired())
                socket.waitForReadyRead(int(deadline.remainingTime()));
            if (socket.bytesAvailable() >= 1) {
                char answer = 0;
                socket.getChar(&answer);
                return answer == acknowledgement;
            }
        }
        // The first instance may hold the lock and not listen yet.
        QThread::msleep(50);
    }
    return false;
}

}  // namespace platform
