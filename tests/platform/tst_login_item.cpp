// The autostart entry must start its program when a desktop reads it: GLib's own reader (`gio
// launch`) parses the written entry and runs what it names, and desktop-file-validate checks the
// text, which GLib reads more leniently than the rules ask. The installed entries take their Exec
// from cmake/DesktopEntryExec.cmake, which must write the very same text.
#include "platform/LoginItem.h"
#include "support/TestHome.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

using platform::LoginItem;

namespace {
QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}
}  // namespace

class LoginItemTest : public QObject {
    Q_OBJECT

    QTemporaryDir programs;

private slots:
    void init() { QDir(LoginItem::autostartFolder()).removeRecursively(); }

    // `exec` is the Exec value as the file holds it; {dir} stands for the folder of the programs.
    void theEntryStartsItsProgramWhereverItLies_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "bin" << "{dir}/bin/prog";
        QTest::newRow("blank") << "My Programs" << "\"{dir}/My Programs/prog\"";
        QTest::newRow("dollar") << "a$HOME" << "\"{dir}/a\\\\$HOME/prog\"";
        QTest::newRow("backtick") << "a`id`" << "\"{dir}/a\\\\`id\\\\`/prog\"";
        QTest::newRow("double quote") << "say\"hi\"" << "\"{dir}/say\\\\\"hi\\\\\"/prog\"";
        QTest::newRow("backslash") << "back\\slash" << "\"{dir}/back\\\\\\\\slash/prog\"";
        QTest::newRow("other reserved") << "'c'&;|*?#()<>~" << "\"{dir}/'c'&;|*?#()<>~/prog\"";
        QTest::newRow("tab") << "a\tb" << "\"{dir}/a\\tb/prog\"";
        QTest::newRow("percent") << "100%" << "/usr/bin/env {dir}/100%%/prog";
        QTest::newRow("field code") << "100%u" << "/usr/bin/env {dir}/100%%u/prog";
        QTest::newRow("equals") << "a=b" << "{dir}/a=b/prog";
        QTest::newRow("equals and percent") << "a=b%f"
                                            << "/bin/sh -c \"exec \\\\\"\\\\$0\\\\\" \\\\\"\\\\$@\\\\\"\" {dir}/a=b%%f/prog";
        QTest::newRow("blank, percent, dollar, backtick")
            << "prefix with space 100%u $x `y" << "/usr/bin/env \"{dir}/prefix with space 100%%u \\\\$x \\\\`y/prog\"";
        QTest::newRow("not ASCII") << QString::fromUtf8("Übersicht_評論_🚀") << QString::fromUtf8("{dir}/Übersicht_評論_🚀/prog");
    }
    void theEntryStartsItsProgramWhereverItLies()
    {
        QFETCH(QString, folder);
        QFETCH(QString, exec);
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        QVERIFY2(!gio.isEmpty(), "gio (Debian libglib2.0-bin) reads the entries here");
        const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        QVERIFY2(!validate.isEmpty(), "desktop-file-validate (Debian desktop-file-utils) checks the entries here");
        // The expected texts hold the folder as it is: it must need no quoting of its own.
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z0-9/._-]+$")).match(programs.path()).hasMatch(),
                 qPrintable(programs.path()));

        const QString dir = programs.filePath(folder);
        QVERIFY(QDir().mkpath(dir));
        const QString program = dir + QStringLiteral("/prog");
        const QString marker = programs.filePath(QStringLiteral("started"));
        QFile::remove(marker);
        QVERIFY(writeFile(program, "#!/bin/sh\nprintf '%s|%d' \"$0\" \"$#\" > \"$MARKER\"\n"));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        const LoginItem item(QStringLiteral("probe.desktop"), QStringLiteral("Probe"), program, QStringLiteral("probe"));
        item.registerItem();
        const QByteArray expected = "Exec=" + exec.replace(QStringLiteral("{dir}"), programs.path()).toUtf8();
        const QByteArrayList lines = readFile(item.entryPath()).split('\n');
        QVERIFY2(lines.contains(expected), readFile(item.entryPath()).constData());

        // The installed entries' rule gives the same text.
        const QString cmakeOutput = programs.filePath(QStringLiteral("cmake-exec"));
        QProcess cmake;
        cmake.start(QStringLiteral(CMAKE_PROGRAM), {QStringLiteral("-DPROGRAM=") + program,
                                                    QStringLiteral("-DOUTPUT=") + cmakeOutput, QStringLiteral("-P"),
                                                    QStringLiteral(DESKTOP_ENTRY_EXEC_CMAKE)});
        QVERIFY(cmake.waitForFinished(10000));
        QVERIFY2(cmake.exitCode() == 0, cmake.readAllStandardError().constData());
        QCOMPARE("Exec=" + readFile(cmakeOutput), expected);

        QProcess validation;
        validation.start(validate, {item.entryPath()});
        QVERIFY(validation.waitForFinished(10000));
        QVERIFY2(validation.exitCode() == 0, validation.readAllStandardOutput().constData());

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

    // An entry found at start-up; `switches` are its on/off keys after a rewrite.
    void onlyAnEntryThatStartsAnotherProgramIsRewritten_data()
    {
        QTest::addColumn<QByteArray>("exec");
        QTest::addColumn<QByteArray>("turnedOff");
        QTest::addColumn<bool>("rewritten");
        QTest::addColumn<QByteArrayList>("switches");
        const QByteArray gnomeOn = "X-GNOME-Autostart-enabled=true";
        const QByteArray gnomeOff = "X-GNOME-Autostart-enabled=false";
        QTest::newRow("this program, Hidden") << QByteArray("/new/place/prog") << QByteArray("Hidden=true") << false
                                              << QByteArrayList();
        QTest::newRow("this program, GNOME off") << QByteArray("/new/place/prog") << gnomeOff << false << QByteArrayList();
        QTest::newRow("this program, quoted") << QByteArray("\"/new/place/prog\"") << QByteArray() << false
                                              << QByteArrayList();
        QTest::newRow("another program, Hidden") << QByteArray("/old/place/prog") << QByteArray("Hidden=true") << true
                                                 << QByteArrayList{"Hidden=true", gnomeOn};
        QTest::newRow("another program, GNOME off") << QByteArray("/old/place/prog") << gnomeOff << true
                                                    << QByteArrayList{gnomeOff};
        QTest::newRow("another program, on") << QByteArray("/old/place/prog") << QByteArray() << true
                                             << QByteArrayList{gnomeOn};
    }
    void onlyAnEntryThatStartsAnotherProgramIsRewritten()
    {
        QFETCH(QByteArray, exec);
        QFETCH(QByteArray, turnedOff);
        QFETCH(bool, rewritten);
        QFETCH(QByteArrayList, switches);
        const LoginItem item(QStringLiteral("probe.desktop"), QStringLiteral("Probe"), QStringLiteral("/new/place/prog"));
        QVERIFY(!item.updateIfRegistered());
        QVERIFY(!item.isRegistered());  // switched off in the settings: stays off

        QVERIFY(QDir().mkpath(LoginItem::autostartFolder()));
        QByteArray found = "[Desktop Entry]\nType=Application\nName=Probe\nExec=" + exec + '\n';
        if (!turnedOff.isEmpty())
            found += turnedOff + '\n';
        QVERIFY(writeFile(item.entryPath(), found));
        QCOMPARE(item.updateIfRegistered(), rewritten);
        const QByteArray after = readFile(item.entryPath());
        if (!rewritten) {
            QCOMPARE(after, found);
            return;
        }
        const QByteArrayList lines = after.split('\n');
        QVERIFY2(lines.contains("Exec=/new/place/prog"), after.constData());
        QByteArrayList onOff;
        for (const QByteArray &line : lines) {
            if (line.startsWith("Hidden=") || line.startsWith("X-GNOME-Autostart-enabled="))
                onOff += line;
        }
        QCOMPARE(onOff, switches);
        QVERIFY(!item.updateIfRegistered());
    }

    void theApplicationsItemNamesTheRunningProgram()
    {
        QVERIFY(LoginItem::mainApp().desktopEntry().contains(
            "\nExec=" + LoginItem::execValue(QCoreApplication::applicationFilePath()) + '\n'));
        QVERIFY(QDir::isAbsolutePath(QCoreApplication::applicationFilePath()));
    }
};

VANTOREL_TEST_MAIN(LoginItemTest)
#include "tst_login_item.moc"
