#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "support/TestHome.h"

#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtConcurrent>
#include <QtEndian>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using platform::SingleInstance;
using namespace std::chrono_literals;

namespace {
const QString name = QStringLiteral("program");

QByteArray header(quint32 length)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(length, bytes.data());
    return bytes;
}

// The pid of a process that has ended.
qint64 deadPid()
{
    QProcess process;
    process.start(QStringLiteral("/bin/true"));
    process.waitForFinished();
    return process.processId() ? process.processId() : 999999;
}
}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;

    QString base() const { return folder->path() + QStringLiteral("/runtime"); }

    // Sends from a worker thread: the sender blocks until the receiver, on this thread, answers.
    static QFuture<bool> sendLater(const SingleInstance &instance, const QByteArray &message,
                                   std::chrono::milliseconds timeout = 5s)
    {
        return QtConcurrent::run([&instance, message, timeout] { return instance.sendToPrimary(message, timeout); });
    }

    static bool finish(QFuture<bool> future)
    {
        while (!future.isFinished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return future.result();
    }

private slots:
    void init() { folder = std::make_unique<QTemporaryDir>(); }

    void laterLaunchesHandTheirMessageToTheFirst()
    {
        SingleInstance first(name, base());
        QVERIFY(first.claim());
        QVERIFY(first.isPrimary());
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                          QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFile::permissions(base()) & others, QFile::Permissions());
        QVERIFY(QFile::permissions(base()).testFlags(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        SingleInstance second(name, base());
        QVERIFY(!second.claim());
        QVERIFY(!second.isPrimary());

        QSignalSpy received(&first, &SingleInstance::messageReceived);
        QVERIFY(finish(sendLater(second, "vantorel://SendFeedback")));
        QVERIFY(finish(sendLater(second, QByteArray())));  // a plain second launch
        QTRY_COMPARE(received.count(), 2);
        QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("vantorel://SendFeedback"));
        QCOMPARE(received.at(1).at(0).toByteArray(), QByteArray());

        // Another home folder is another instance.
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(folder->path()));
        SingleInstance elsewhere(name, base());
        qputenv("HOME", home);
        QVERIFY(elsewhere.claim());
    }

    void messagesThatAreTooLongOrCutOffAreDropped()
    {
        SingleInstance first(name, base());
        QVERIFY(first.claim());
        QSignalSpy received(&first, &SingleInstance::messageReceived);

        QLocalSocket tooLong;
        tooLong.connectToServer(first.socketPath());
        QVERIFY(tooLong.waitForConnected(1000));
        tooLong.write(header(SingleInstance::maximumMessageSize + 1) + QByteArray(100, 'x'));
        tooLong.flush();
        QTRY_COMPARE(tooLong.state(), QLocalSocket::UnconnectedState);

        // A sender that stops halfway holds up nobody else.
        QLocalSocket stalled;
        stalled.connectToServer(first.socketPath());
        QVERIFY(stalled.waitForConnected(1000));
        stalled.write(header(10) + "abc");
        stalled.flush();

        SingleInstance second(name, base());
        QVERIFY(!second.claim());
        QVERIFY(!second.sendToPrimary(QByteArray(SingleInstance::maximumMessageSize + 1, 'y'), 100ms));
        QVERIFY(finish(sendLater(second, QByteArray(SingleInstance::maximumMessageSize, 'z'))));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.first().first().toByteArray().size(), SingleInstance::maximumMessageSize);
    }

    void leftoversOfADeadInstanceAreTakenOver()
    {
        SingleInstance probe(name, base());
        QDir().mkpath(base());
        // The lock of a process that died, in QLockFile's format, and its socket file.
        QFile lock(probe.lockPath());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(deadPid()) + "\n" + QCoreApplication::applicationName().toUtf8() + "\n" +
                   QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(probe.socketPath());
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
        QVERIFY(QFile::exists(probe.socketPath()));

        SingleInstance first(name, base());
        QVERIFY(first.claim());
        QSignalSpy received(&first, &SingleInstance::messageReceived);
        SingleInstance second(name, base());
        QVERIFY(!second.claim());
        QVERIFY(finish(sendLater(second, "hello")));
        QTRY_COMPARE(received.count(), 1);
    }

    void aSenderWaitsForAFirstInstanceThatIsStillStarting()
    {
        QDir().mkpath(base());
        SingleInstance second(name, base());
        QVERIFY(!second.sendToPrimary("nobody", 200ms));  // nobody at all: gives up

        QFuture<bool> sending = sendLater(second, "late", 5s);
        QTest::qWait(300);
        SingleInstance first(name, base());
        QSignalSpy received(&first, &SingleInstance::messageReceived);
        QVERIFY(first.claim());
        QVERIFY(finish(sending));
        QTRY_COMPARE(received.count(), 1);
    }

    void terminationSignalsQuitTheEventLoop()
    {
        platform::quitOnTerminationSignals();
        for (int signal : {SIGTERM, SIGINT}) {
            QSignalSpy quitting(QCoreApplication::instance(), &QCoreApplication::aboutToQuit);
            QTimer::singleShot(0, [signal] { ::raise(signal); });
            QTimer failsafe;
            failsafe.setSingleShot(true);
            bool timedOut = false;
            connect(&failsafe, &QTimer::timeout, [&] {
                timedOut = true;
                QCoreApplication::exit(1);
            });
            failsafe.start(5000);
            QCOMPARE(QCoreApplication::exec(), 0);
            QVERIFY(!timedOut);
            QCOMPARE(quitting.count(), 1);
        }
    }
};

VANTOREL_TEST_MAIN(SingleInstanceTest)
#include "tst_single_instance.moc"
