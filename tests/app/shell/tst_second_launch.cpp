// Two real processes: a second `vantorel` hands its link to the first over the single-instance
// socket and ends; the first opens it, and quits normally on SIGTERM.
#include "platform/SingleInstance.h"
#include "support/TestHome.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>

class SecondLaunchTest : public QObject {
    Q_OBJECT

    QTemporaryDir runtime;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("Vantorel.app.info=true"));
        // No download at start: this test is about the link only.
        env.insert(QStringLiteral("VANTOREL_CONNECT_URL"), QStringLiteral("http://127.0.0.1:1"));
        return env;
    }

    static bool waitForOutput(QProcess &process, const QByteArray &text, QByteArray &seen, int milliseconds)
    {
        QDeadlineTimer deadline(milliseconds);
        while (!seen.contains(text) && !deadline.hasExpired()) {
            process.waitForReadyRead(50);
            seen += process.readAllStandardError();
        }
        return seen.contains(text);
    }

private slots:
    void secondLaunchHandsItsLinkToTheFirst()
    {
        QVERIFY(runtime.isValid());
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcess first;
        first.setProcessEnvironment(environment());
        first.start(QStringLiteral(VANTOREL_PROGRAM), {});
        QVERIFY(first.waitForStarted());
        QByteArray firstOutput;
        // The first instance listens once it has its window.
        QVERIFY2(waitForOutput(first, "Notifications", firstOutput, 20000), firstOutput.constData());

        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(QStringLiteral(VANTOREL_PROGRAM), {QStringLiteral("vantorel://SendFeedback")});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(waitForOutput(first, "Opening vantorel://sendfeedback", firstOutput, 10000), firstOutput.constData());
        QCOMPARE(first.state(), QProcess::Running);

        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);

        // With the first one gone, a launch is the first again (the socket was cleaned up).
        QProcess third;
        third.setProcessEnvironment(environment());
        third.start(QStringLiteral(VANTOREL_PROGRAM), {});
        QVERIFY(third.waitForStarted());
        QByteArray thirdOutput;
        QVERIFY2(waitForOutput(third, "Notifications", thirdOutput, 20000), thirdOutput.constData());
        third.terminate();
        QVERIFY(third.waitForFinished(10000));
        QCOMPARE(third.exitCode(), 0);
    }

    // "Open at login" is on and the program now runs from another folder than the one the entry
    // names: at start it points the entry at itself, and the entry, read by GLib as a desktop
    // reads it, starts this program.
    void theOpenAtLoginEntryStartsTheProgramThatWroteIt()
    {
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        QVERIFY2(!gio.isEmpty(), "gio (Debian libglib2.0-bin) reads the entry here");
        QVERIFY(runtime.isValid());
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QTemporaryDir programs;
        const QString folder = programs.filePath(QStringLiteral("New Build $HOME \"quoted\""));
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + QStringLiteral("/vantorel");
        QVERIFY(QFile::copy(QStringLiteral(VANTOREL_PROGRAM), program));

        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!config.isEmpty());
        QVERIFY(QDir().mkpath(config + QStringLiteral("/Vantorel")));
        QVERIFY(QDir().mkpath(config + QStringLiteral("/autostart")));
        const QString entryPath = config + QStringLiteral("/autostart/vantorel.desktop");
        const auto write = [](const QString &path, const QByteArray &text) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
        };
        QVERIFY(write(config + QStringLiteral("/Vantorel/Vantorel.conf"), "[General]\nopenAtLogin=true\n"));
        QVERIFY(write(entryPath, "[Desktop Entry]\nType=Application\nName=Vantorel\nExec=vantorel\n"));

        QProcess first;
        first.setProcessEnvironment(environment());
        first.start(program, {});
        QVERIFY(first.waitForStarted());
        QByteArray output;
        QVERIFY2(waitForOutput(first, "Open at login now starts", output, 20000), output.constData());
        first.terminate();
        QVERIFY(first.waitForFinished(10000));

        QProcess launch;
        launch.setProcessEnvironment(environment());
        // The program outlives gio: it must not write into a pipe that closes with it.
        const QString log = programs.filePath(QStringLiteral("started.log"));
        launch.setStandardOutputFile(log);
        launch.setStandardErrorFile(log);
        launch.start(gio, {QStringLiteral("launch"), entryPath});
        QVERIFY(launch.waitForFinished(10000));
        QVERIFY(launch.exitCode() == 0);

        // The program the entry started holds the single-instance lock and answers on its socket.
        platform::SingleInstance instance(QStringLiteral("vantorel"), runtime.path() + QStringLiteral("/vantorel"));
        qint64 pid = 0;
        QTRY_VERIFY_WITH_TIMEOUT(QLockFile(instance.lockPath()).getLockInfo(&pid, nullptr, nullptr) && pid > 0, 20000);
        const QString started = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        QVERIFY(instance.sendToPrimary({}, std::chrono::seconds(20)));
        ::kill(pid_t(pid), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)), 10000);
        QCOMPARE(started, program);
    }
};

VANTOREL_TEST_MAIN(SecondLaunchTest)
#include "tst_second_launch.moc"
