// The widget's desktop run in this process: the menu's Close ends it and takes it off the login
// items; the size family and the place of its window come back at the next start, whole on a
// screen present (the test runs on two screens: 1920x1080 and 1280x1024 to its right).
#include "Fennick/Persistence/PersistenceController.h"
#include "platform/LoginItem.h"
#include "platform/UserDefaults.h"
#include "platform/widgethost/WidgetHost.h"
#include "support/TestHome.h"
#include "widget/Desktop.h"

#include <QAction>
#include <QDir>
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <functional>

using platform::widgetkit::WidgetFamily;
using platform::widgetkit::WidgetHost;

namespace {
struct Run {
    int code = -1;
    bool endedByItself = false;
};

WidgetHost *shownHost()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *host = qobject_cast<WidgetHost *>(window); host && host->isVisible())
            return host;
    }
    return nullptr;
}

// Runs the widget; `whileOpen` gets its window once it is shown. A run that has not ended 10 s
// later is ended from outside.
Run runWidget(const std::function<void(WidgetHost &)> &whileOpen)
{
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    guard.start(10000);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (WidgetHost *host = shownHost()) {
            poll.stop();
            whileOpen(*host);
        }
    });
    poll.start(20);
    Run run;
    run.code = Glimmerwick::runOnDesktop();
    run.endedByItself = !timedOut;
    return run;
}

// As a user drags it where the window manager leaves that to the window (offscreen).
void dragBy(WidgetHost &host, QPoint offset)
{
    const QPointF inside(10, 10);
    const auto send = [&](QEvent::Type type, QPointF moved, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, inside + moved, host.mapToGlobal(inside) + moved, button, held, Qt::NoModifier);
        QApplication::sendEvent(&host, &event);
    };
    send(QEvent::MouseButtonPress, {}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, QPointF(offset), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, QPointF(offset), Qt::LeftButton, Qt::NoButton);
}

QString autostartEntry()
{
    return platform::LoginItem::autostartFolder() + QStringLiteral("/glimmerwick.desktop");
}
}  // namespace

class WidgetDesktopTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Fennick::PersistenceController::shared();
        QCOMPARE(QGuiApplication::screens().size(), 2);
    }

    void closeEndsTheRunAndTakesTheWidgetOffTheLoginItems()
    {
        bool entryWhileOpen = false;
        const Run run = runWidget([&](WidgetHost &host) {
            entryWhileOpen = QFileInfo::exists(autostartEntry());
            host.closeAction()->trigger();
        });
        QVERIFY(run.endedByItself);
        QCOMPARE(run.code, 0);
        QVERIFY(entryWhileOpen);
        QVERIFY(!QFileInfo::exists(autostartEntry()));
    }

    // The desktop's own startup tool turned the widget's entry off; opening the widget must not
    // turn it on again.
    void anEntryTurnedOffStaysOffWhileTheWidgetIsOpen_data()
    {
        QTest::addColumn<QByteArray>("turnedOff");
        QTest::newRow("Hidden") << QByteArray("Hidden=true");
        QTest::newRow("GNOME") << QByteArray("X-GNOME-Autostart-enabled=false");
    }
    void anEntryTurnedOffStaysOffWhileTheWidgetIsOpen()
    {
        QFETCH(QByteArray, turnedOff);
        QVERIFY(QDir().mkpath(platform::LoginItem::autostartFolder()));
        const QByteArray entry = "[Desktop Entry]\nType=Application\nName=Latest Reviews\nExec="
                                 + platform::LoginItem::execValue(QCoreApplication::applicationFilePath()) + '\n'
                                 + turnedOff + '\n';
        QFile file(autostartEntry());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(entry) == entry.size());
        file.close();

        QByteArray whileOpen;
        QVERIFY(runWidget([&](WidgetHost &host) {
                    if (file.open(QIODevice::ReadOnly))
                        whileOpen = file.readAll();
                    file.close();
                    host.closeAction()->trigger();
                }).endedByItself);
        QCOMPARE(whileOpen, entry);
    }

    void sizeAndPlaceComeBackAtTheNextStart()
    {
        QPoint place;
        QVERIFY(runWidget([&](WidgetHost &host) {
                    host.setFamily(WidgetFamily::systemLarge);
                    dragBy(host, QPoint(70, 40));
                    place = host.pos();
                    host.closeAction()->trigger();
                }).endedByItself);
        QVERIFY(!place.isNull());

        WidgetFamily family = WidgetFamily::systemSmall;
        QPoint shownAt;
        QSize size;
        QVERIFY(runWidget([&](WidgetHost &host) {
                    family = host.family();
                    shownAt = host.pos();
                    size = host.size();
                    host.move(0, 0);  // a place the window manager reports in passing, not the user's
                    host.closeAction()->trigger();
                }).endedByItself);
        QCOMPARE(family, WidgetFamily::systemLarge);
        QCOMPARE(size, platform::widgetkit::displaySize(WidgetFamily::systemLarge));
        QCOMPARE(shownAt, place);

        QVERIFY(runWidget([&](WidgetHost &host) {
                    shownAt = host.pos();
                    host.closeAction()->trigger();
                }).endedByItself);
        QCOMPARE(shownAt, place);
    }

    void keptPlaceComesBackWholeOnAScreen_data()
    {
        QTest::addColumn<QPoint>("kept");
        QTest::addColumn<QPoint>("expected");  // null: where a widget without a kept place shows

        // The Large widget is 364x382.
        QTest::newRow("inside the first screen") << QPoint(300, 200) << QPoint(300, 200);
        QTest::newRow("inside the second screen") << QPoint(2500, 300) << QPoint(2500, 300);
        QTest::newRow("off the corner of the first screen") << QPoint(1700, 900) << QPoint(1556, 698);
        QTest::newRow("mostly on the second screen") << QPoint(1900, 1000) << QPoint(1920, 642);
        QTest::newRow("off the bottom of the second screen") << QPoint(2500, 900) << QPoint(2500, 642);
        QTest::newRow("off the right of the second screen") << QPoint(3000, 300) << QPoint(2836, 300);
        QTest::newRow("below the shorter second screen") << QPoint(2500, 1050) << QPoint();
        QTest::newRow("on a screen that is gone") << QPoint(4000, 300) << QPoint();
    }
    void keptPlaceComesBackWholeOnAScreen()
    {
        QFETCH(QPoint, kept);
        QFETCH(QPoint, expected);
        auto &defaults = platform::UserDefaults::standard();
        defaults.setValue(QStringLiteral("widgetFamily"), int(WidgetFamily::systemLarge));
        if (expected.isNull()) {
            defaults.removeValue(QStringLiteral("widgetPosition"));
            QVERIFY(runWidget([&](WidgetHost &host) {
                        expected = host.pos();
                        host.closeAction()->trigger();
                    }).endedByItself);
        }
        defaults.setValue(QStringLiteral("widgetPosition"), kept);

        QRect shown;
        QVERIFY(runWidget([&](WidgetHost &host) {
                    shown = host.frameGeometry();
                    host.closeAction()->trigger();
                }).endedByItself);
        QCOMPARE(shown.size(), platform::widgetkit::displaySize(WidgetFamily::systemLarge));
        QCOMPARE(shown.topLeft(), expected);
        const QList<QScreen *> screens = QGuiApplication::screens();
        QVERIFY(std::any_of(screens.cbegin(), screens.cend(),
                            [&](QScreen *screen) { return screen->availableGeometry().contains(shown); }));
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, WidgetDesktopTest)
#include "tst_widget_desktop.moc"
