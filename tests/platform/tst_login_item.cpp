// The autostart entry must start its program when a desktop reads it: GLib's own reader (`gio
// launch`) parses the written entry and runs what it names.
#include "platform/LoginItem.h"
#include "support/TestHome.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using platform::LoginItem;

class LoginItemTest : public QObject {
    Q_OBJECT

    QTemporaryDir programs;

private slots:
    void init() { QDir(LoginItem::autostartFolder()).removeRecursively(); }

    void theEntryStartsItsProgramWhereverItLies_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "bin";
        QTest::newRow("blanks") << "My Programs/new build";
        QTest::newRow("shell characters") << "a$HOME`b`'c'\"d\"&;|*?#()<>~";
        QTest::newRow("backslashes") << "back\\slash\\\\two";
        QTest::newRow("leading blank, tab") << " lead\ttab";
        QTest::newRow("not ASCII") << QString::fromUtf8("Programme/Übersicht 評論 🚀");
    }
    void theEntryStartsItsProgramWhereverItLies()
    {
        QFETCH(QString, folder);
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        QVERIFY2(!gio.isEmpty(), "gio (Debian libglib2.0-bin) reads the entries here");

        const QString dir = programs.filePath(folder);
        QVERIFY(QDir().mkpath(dir));
        const QString program = dir + QStringLiteral("/prog");
        const QString marker = programs.filePath(QStringLiteral("started"));
        QFile::remove(marker);
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s|%d' \"$0\" \"$#\" > \"$MARKER\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        const LoginItem item(QStringLiteral("probe.desktop"), QStringLiteral("Probe"), program, QStringLiteral("probe"));
        item.registerItem();
        QVERIFY(item.isRegistered());

        QProcess launch;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MARKER"), marker);
        env.remove(QStringLiteral("DISPLAY"));
        launch.setProcessEnvironment(env);
        launch.start(gio, {QStringLiteral("launch"), item.entryPath()});
        QVERIFY(launch.waitForFinished(10000));
        QVERIFY2(launch.exitCode() == 0, launch.readAllStandardError().constData());
        QFile started(marker);
        QTRY_VERIFY_WITH_TIMEOUT(started.exists() && started.size() > 0, 5000);
        QVERIFY(started.open(QIODevice::ReadOnly));
        // The program itself, with no argument left over from a split path.
        QCOMPARE(QString::fromUtf8(started.readAll()), program + QStringLiteral("|0"));
    }

    void percentSignsAreDoubled()
    {
        // GLib checks that the program exists before it expands "%%", so this one is checked as
        // text: a single "%u" would be taken for the list of links to open.
        QCOMPARE(LoginItem::execValue(QStringLiteral("/opt/100%u/vantorel")), QByteArray("\"/opt/100%%u/vantorel\""));
    }

    void onlyAnEntryThatStartsAnotherProgramIsRewritten()
    {
        const LoginItem item(QStringLiteral("probe.desktop"), QStringLiteral("Probe"), QStringLiteral("/new/place/prog"));
        QVERIFY(!item.updateIfRegistered());
        QVERIFY(!item.isRegistered());  // switched off elsewhere: stays off

        QVERIFY(QDir().mkpath(LoginItem::autostartFolder()));
        QFile stale(item.entryPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("[Desktop Entry]\nType=Application\nName=Probe\nExec=prog\n");
        stale.close();
        QVERIFY(item.updateIfRegistered());
        QVERIFY(stale.open(QIODevice::ReadOnly));
        QCOMPARE(stale.readAll(), item.desktopEntry());
        stale.close();
        QVERIFY(!item.updateIfRegistered());

        // The application's own item names the running program by its absolute path.
        QVERIFY(LoginItem::mainApp().desktopEntry().contains(
            "\nExec=" + LoginItem::execValue(QCoreApplication::applicationFilePath()) + '\n'));
        QVERIFY(QDir::isAbsolutePath(QCoreApplication::applicationFilePath()));
    }
};

VANTOREL_TEST_MAIN(LoginItemTest)
#include "tst_login_item.moc"
