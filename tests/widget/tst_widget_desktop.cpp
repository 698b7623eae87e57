// The widget's desktop run in this process: the menu's Close ends it and takes it off the login
// items; the size family and the place of its window come back at the next start.
#include "Fennick/Persistence/PersistenceController.h"
#include "platform/LoginItem.h"
#include "platform/widgethost/WidgetHost.h"
#include "support/TestHome.h"
#include "widget/Desktop.h"

#include <QAction>
#include <QApplication>
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

QString autostartEntry()
{
    return platform::LoginItem::autostartFolder() + QStringLiteral("/glimmerwick.desktop");
}
}  // namespace

class WidgetDesktopTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Fennick::PersistenceController::shared(); }

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

    void sizeAndPlaceComeBackAtTheNextStart()
    {
        const QPoint place(150, 90);
        QVERIFY(runWidget([&](WidgetHost &host) {
                    host.setFamily(WidgetFamily::systemLarge);
                    host.move(place);
                    host.closeAction()->trigger();
                }).endedByItself);

        WidgetFamily family = WidgetFamily::systemSmall;
        QPoint shownAt;
        QSize size;
        QVERIFY(runWidget([&](WidgetHost &host) {
                    family = host.family();
                    shownAt = host.pos();
                    size = host.size();
                    host.closeAction()->trigger();
                }).endedByItself);
        QCOMPARE(family, WidgetFamily::systemLarge);
        QCOMPARE(size, platform::widgetkit::displaySize(WidgetFamily::systemLarge));
        QCOMPARE(shownAt, place);
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, WidgetDesktopTest)
#include "tst_widget_desktop.moc"
