// Real widget processes: a second start hands over to the first and ends; the session's end
// (SIGTERM) ends the widget normally and keeps its login entry for the next login.
#include "platform/LoginItem.h"
#include "support/TestHome.h"

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

class WidgetProgramTest : public QObject {
    Q_OBJECT

    QTemporaryDir runtime;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("Vantorel.widget.info=true"));
        return env;
    }

    static QString autostartEntry()
    {
        return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/glimmerwick.desktop");
    }

    // Started and past its first timeline, which comes after the single-instance guard.
    static bool startWidget(QProcess &process, const QProcessEnvironment &env, QByteArray &output)
    {
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(GLIMMERWICK_PROGRAM), {});
        if (!process.waitForStarted())
            return false;
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && process.state() == QProcess::Running) {
            process.waitForReadyRead(50);
            output += process.readAllStandardError();
            if (output.contains("Extension fetched new reviews") || output.contains("Skipping widget data refresh"))
                return true;
        }
        return false;
    }

    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(runtime.isValid());
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void secondStartHandsOverAndEnds()
    {
        QProcess first;
        QByteArray output;
        QVERIFY2(startWidget(first, environment(), output), output.constData());

        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(QStringLiteral(GLIMMERWICK_PROGRAM), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(!second.readAllStandardError().contains("fetched new reviews"), "the second one ran a download");
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }

    void theSessionsEndKeepsTheWidgetForTheNextLogin()
    {
        QProcess widget;
        QByteArray output;
        QVERIFY2(startWidget(widget, environment(), output), output.constData());

        // Open means: started again at the next login, by this very program.
        const QByteArray entry = readFile(autostartEntry());
        QVERIFY2(entry.contains("\nName=Latest Reviews\n"), entry.constData());
        QVERIFY2(entry.contains("\nExec=" + platform::LoginItem::execValue(QStringLiteral(GLIMMERWICK_PROGRAM)) + '\n'),
                 entry.constData());

        ::kill(pid_t(widget.processId()), SIGTERM);
        QVERIFY(widget.waitForFinished(10000));
        QCOMPARE(widget.exitStatus(), QProcess::NormalExit);
        QCOMPARE(widget.exitCode(), 0);
        QVERIFY(QFileInfo::exists(autostartEntry()));
    }
};

VANTOREL_TEST_MAIN(WidgetProgramTest)
#include "tst_widget_program.moc"
