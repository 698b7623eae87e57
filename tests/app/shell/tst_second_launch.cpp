// Two real processes: a second `vantorel` hands its link to the first over the single-instance
// socket and ends; the first opens it, and quits normally on SIGTERM.
#include "support/TestHome.h"

#include <QProcess>
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
        env.remove(QStringLiteral("VANTOREL_CONNECT_URL"));
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
};

VANTOREL_TEST_MAIN(SecondLaunchTest)
#include "tst_second_launch.moc"
