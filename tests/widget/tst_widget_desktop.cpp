// The widget's desktop run in this process: the menu's Close ends it.
#include "Fennick/Persistence/PersistenceController.h"
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
}  // namespace

class WidgetDesktopTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Fennick::PersistenceController::shared(); }

    void closeEndsTheRun()
    {
        const Run run = runWidget([&](WidgetHost &host) { host.closeAction()->trigger(); });
        QVERIFY(run.endedByItself);
        QCOMPARE(run.code, 0);
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, WidgetDesktopTest)
#include "tst_widget_desktop.moc"
