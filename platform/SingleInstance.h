#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

class QLocalServer;
class QLockFile;

namespace platform {

// One running instance of a program per user and home folder. The first launch holds a lock
// file and listens on a user-only local socket; a later launch hands a short message (for a
// program, the URL it was started with) to the first one and ends. Both live in the user's
// runtime folder ($XDG_RUNTIME_DIR).
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // Longer messages are refused by the receiver without an answer.
    static constexpr qint64 maximumMessageSize = 64 * 1024;

    // `name` tells programs apart; `folder` defaults to defaultFolder().
    explicit SingleInstance(const QString &name, const QString &folder = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/vantorel, else a per-user folder that Qt picks; made user-only.
    static QString defaultFolder();

    // True when this process is the first: it then holds the lock and listens for messages.
    // A lock left by a process that died is taken over, and so is its socket file. When the
    // folder cannot be used at all the process runs on its own (true) and says so on stderr.
    bool claim();
    bool isPrimary() const { return m_primary; }

    // For a later launch: hands `message` to the first instance and waits for its answer.
    // Keeps trying while the first one is still starting up; false after `timeout`.
    bool sendToPrimary(const QByteArray &message, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    QString socketPath() const { return m_socketPath; }
    QString lockPath() const { return m_lockPath; }

signals:
    // In the first instance, on its thread, for every message a later launch sent.
    void messageReceived(const QByteArray &message);

private:
    void acceptConnections();

    QString m_socketPath;
    QString m_lockPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    bool m_primary = false;
};

}  // namespace platform
