#include "app/views/GeneralSettingsView.h"
#include "app/views/WidgetAdCard.h"
#include "platform/LoginItem.h"
#include "platform/UserDefaults.h"
#include "support/FileAccess.h"
#include "support/TestHome.h"

#include "ViewTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLayout>

using namespace Vantorel;
using platform::UserDefaults;

namespace {
const QString appCategory = QStringLiteral("Vantorel.app");

QString entryPath()
{
    return platform::LoginItem::mainApp().entryPath();
}

void removeAutostartFolder()
{
    const QString folder = platform::LoginItem::autostartFolder();
    QFile(folder).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::remove(folder);
    QDir(folder).removeRecursively();
}
}  // namespace

class GeneralSettingsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<testsupport::Recorder> recorder;

private slots:
    void initTestCase() { recorder = std::make_unique<testsupport::Recorder>(); }
    void cleanupTestCase() { recorder.reset(); }
    void init()
    {
        for (const auto &entry : GeneralSettingsView::switches())
            UserDefaults::standard().removeValue(entry.key);
        removeAutostartFolder();
        recorder->clear();
    }

    void switchesShowTheirLabelsInOrderAndApplyAtOnce()
    {
        GeneralSettingsView view;
        const QList<QCheckBox *> boxes = view.findChildren<QCheckBox *>();
        const QStringList labels = {QStringLiteral("Load reviews at launch once per day"),
                                    QStringLiteral("Show notifications for new reviews"),
                                    QStringLiteral("Enable translation support"), QStringLiteral("Show menu bar item"),
                                    QStringLiteral("Open at login")};
        const QStringList keys = {QStringLiteral("loadReviewsAtLaunch"), QStringLiteral("showNotifications"),
                                  QStringLiteral("enableTranslationSupport"), QStringLiteral("showsStatusItem"),
                                  QStringLiteral("openAtLogin")};
        const QList<bool> defaults = {true, true, true, false, false};
        QCOMPARE(boxes.size(), 5);
        for (int i = 0; i < boxes.size(); ++i) {
            QCOMPARE(boxes[i]->text(), labels[i]);
            QCOMPARE(boxes[i]->objectName(), keys[i]);
            QCOMPARE(boxes[i]->isChecked(), defaults[i]);
        }
        // Shown top to bottom in that order.
        view.show();
        for (int i = 1; i < boxes.size(); ++i)
            QVERIFY(boxes[i]->y() > boxes[i - 1]->y());

        for (int i = 0; i < 4; ++i) {
            boxes[i]->click();
            QCOMPARE(UserDefaults::standard().value(keys[i]), QVariant(!defaults[i]));
        }
        // A value written elsewhere shows without acting on it.
        UserDefaults::standard().setValue(QStringLiteral("openAtLogin"), true);
        QVERIFY(boxes[4]->isChecked());
        QVERIFY(!QFile::exists(entryPath()));
    }

    void openAtLoginWritesAndRemovesTheAutostartEntry()
    {
        // An entry left from elsewhere is replaced by ours.
        QVERIFY(QDir().mkpath(platform::LoginItem::autostartFolder()));
        QFile stale(entryPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("[Desktop Entry]\nExec=/old/path/vantorel --stale\n");
        stale.close();

        GeneralSettingsView view;
        QCheckBox *openAtLogin = view.switchFor(QStringLiteral("openAtLogin"));
        openAtLogin->click();
        QVERIFY(openAtLogin->isChecked());
        QVERIFY(UserDefaults::standard().boolValue(QStringLiteral("openAtLogin")));
        QFile entry(entryPath());
        QVERIFY(entryPath().endsWith(QStringLiteral("/autostart/vantorel.desktop")));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = entry.readAll().split('\n');
        QCOMPARE(lines.first(), QByteArray("[Desktop Entry]"));
        QVERIFY(lines.contains("Type=Application"));
        QVERIFY(lines.contains("Exec=" + platform::LoginItem::execValue(QCoreApplication::applicationFilePath())));
        QVERIFY(!lines.contains("Exec=/old/path/vantorel --stale"));
        entry.close();

        openAtLogin->click();
        QVERIFY(!QFile::exists(entryPath()));
        QVERIFY(!UserDefaults::standard().boolValue(QStringLiteral("openAtLogin")));
        QVERIFY(recorder->events().isEmpty());
        QVERIFY(recorder->messages(appCategory, QtCriticalMsg).isEmpty());
    }

    void failedLoginItemIsReportedAndTheSwitchKeepsItsValue_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("turnOn");
        QTest::newRow("register, autostart is a file") << "file" << true;
        QTest::newRow("register, read-only folder") << "read-only" << true;
        QTest::newRow("unregister, read-only folder") << "read-only" << false;
    }
    void failedLoginItemIsReportedAndTheSwitchKeepsItsValue()
    {
        QFETCH(QString, setup);
        QFETCH(bool, turnOn);
        const QString folder = platform::LoginItem::autostartFolder();
        QVERIFY(QDir().mkpath(QFileInfo(folder).path()));
        if (!turnOn) {
            platform::LoginItem::mainApp().registerItem();
            UserDefaults::standard().setValue(QStringLiteral("openAtLogin"), true);
        }
        testsupport::PermissionsEnforced enforced;
        if (setup == QLatin1String("file")) {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile(folder).setPermissions(QFile::ReadOwner | QFile::ExeOwner));
            QFile probe(folder + QStringLiteral("/probe"));
            if (probe.open(QIODevice::WriteOnly))
                QSKIP("this process may write into read-only folders");
        }

        GeneralSettingsView view;
        QCheckBox *openAtLogin = view.switchFor(QStringLiteral("openAtLogin"));
        QCOMPARE(openAtLogin->isChecked(), !turnOn);
        openAtLogin->click();

        QCOMPARE(openAtLogin->isChecked(), turnOn);
        QCOMPARE(UserDefaults::standard().boolValue(QStringLiteral("openAtLogin")), turnOn);
        QCOMPARE(QFile::exists(entryPath()), !turnOn);
        const QStringList errors = recorder->messages(appCategory, QtCriticalMsg);
        const QStringList events = recorder->events();
        QCOMPARE(errors.size(), 1);
        QCOMPARE(events.size(), 1);
        const QString prefix = turnOn ? QStringLiteral("Could not register open at login: ")
                                      : QStringLiteral("Could not unregister open at login: ");
        QVERIFY2(errors.first().startsWith(prefix), qPrintable(errors.first()));
        const QString description = errors.first().mid(prefix.size());
        QVERIFY2(description.contains(folder), qPrintable(description));  // says where it failed
        QCOMPARE(events.first(),
                 (turnOn ? QStringLiteral("ErrorRegisterOnLoad:") : QStringLiteral("ErrorUnregisterOnLoad:")) + description);
    }

    void widgetCardSitsCentredAtTheBottomAndStaysNarrow()
    {
        GeneralSettingsView view;
        view.resize(1000, 420);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *card = view.findChild<WidgetAdCard *>();
        QVERIFY(card);
        QCOMPARE(card->findChild<QLabel *>(QStringLiteral("widgetAdHeadline"))->text(),
                 QStringLiteral("Try our desktop widget!"));
        QCOMPARE(card->findChild<QLabel *>(QStringLiteral("widgetAdBody"))->text(),
                 QStringLiteral("Head to your desktop's application list and start Latest Reviews. Our widget shows you "
                                "the latest reviews for your apps right on your desktop."));
        const QRect box = card->geometry();
        QCOMPARE(box.width(), WidgetAdCard::maximumCardWidth);
        QVERIFY(qAbs(box.center().x() - view.rect().center().x()) <= 1);
        QCOMPARE(box.bottom(), view.rect().bottom() - view.layout()->contentsMargins().bottom());
        // Below the last switch, not on it.
        const QWidget *lastSwitch = view.switchFor(QStringLiteral("openAtLogin"));
        QVERIFY(box.top() > lastSwitch->mapTo(&view, QPoint(0, lastSwitch->height())).y());

        // The picture is square and ours: it has drawn pixels of more than one colour.
        const QImage picture = card->findChild<QWidget *>(QStringLiteral("widgetPicture"))->grab().toImage();
        QCOMPARE(picture.width(), picture.height());
        QSet<QRgb> colours;
        for (int y = 0; y < picture.height(); y += 2) {
            for (int x = 0; x < picture.width(); x += 2)
                colours.insert(picture.pixel(x, y));
        }
        QVERIFY(colours.size() > 5);

        // The corners show the fill's rounding: the corner pixel is lighter than the fill's centre.
        const QImage image = card->grab().toImage();
        QVERIFY(image.pixelColor(0, 0) != image.pixelColor(WidgetAdCard::cornerRadius, image.height() / 2));
        view.resize(600, 420);
        QTRY_VERIFY(card->width() < WidgetAdCard::maximumCardWidth + 1);
        QVERIFY(view.grab().save(testsupport::screenshotPath(QStringLiteral("general-tab-narrow.png"))));
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, GeneralSettingsTest)
#include "tst_general_settings.moc"
