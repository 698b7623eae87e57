#include "FakeEmailServer.h"
#include "FakeNotificationServer.h"
#include "Fennick/Endpoints.h"
#include "app/models/SettingsKeys.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/ReviewStateTracker.h"
#include "app/models/FeedbackViewModel.h"
#include "app/models/MainViewModel.h"
#include "app/models/SettingsTab.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/TrayItem.h"
#include "app/shell/VantorelApp.h"
#include "app/views/FeedbackView.h"
#include "app/views/LinkOpener.h"
#include "app/views/MainWindow.h"
#include "app/views/SettingsView.h"
#include "platform/Analytics.h"
#include "platform/UserDefaults.h"
#include "platform/keychain/Keychain.h"
#include "platform/Updater.h"
#include "platform/notifications/UserNotificationCenter.h"
#include "support/TestHome.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Vantorel;
using platform::UserDefaults;

namespace {

// Menu contents as text: separators are "-", submenus "Title >".
QStringList describe(const QMenu *menu)
{
    QStringList items;
    for (const QAction *action : menu->actions()) {
        if (action->isSeparator())
            items << QStringLiteral("-");
        else if (action->menu())
            items << action->text() + QStringLiteral(" >");
        else
            items << action->text();
    }
    return items;
}

QAction *action(QWidget *window, const char *name)
{
    return window->findChild<QAction *>(QString::fromLatin1(name));
}

// Lines logged through the "Vantorel.app" category, kept for the checks of texts logged later.
QStringList appLog;
QtMessageHandler previousHandler = nullptr;
void recordAppLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArray(context.category) == "Vantorel.app")
        appLog << message;
    previousHandler(type, context, message);
}

// Runs the event loop until the application quits; false when it does not within 10 s.
bool runUntilQuit()
{
    bool timedOut = false;
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    failsafe.start(10000);
    QCoreApplication::exec();
    return !timedOut;
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

    std::unique_ptr<fakes::PrivateBus> bus;
    std::unique_ptr<fakes::FakeNotificationServer> notifications;
    std::unique_ptr<VantorelApp> app;

    static platform::store::Context &view()
    {
        return Fennick::PersistenceController::shared().container().viewContext();
    }

    static Fennick::ManagedReview *addAccountWithReview(const QString &name)
    {
        auto *account = view().insert<Fennick::ManagedAccount>();
        account->setName(name);
        auto *storeApp = view().insert<Fennick::ManagedApp>();
        storeApp->setName(name + QStringLiteral(" App"));
        storeApp->setIdentifier(QStringLiteral("1%1").arg(name.size()));
        storeApp->setAccount(account);
        auto *version = view().insert<Fennick::ManagedAppVersion>();
        version->setApp(storeApp);
        auto *review = view().insert<Fennick::ManagedReview>();
        review->setVersion(version);
        review->setIsNew(true);
        view().save();
        return review;
    }

    void startApp()
    {
        app = std::make_unique<VantorelApp>();
        app->start();
        QVERIFY(QTest::qWaitForWindowExposed(app->mainWindow()));
        QTRY_VERIFY(app->viewModel().performedInitialLoad());
    }

private slots:
    void initTestCase()
    {
        // A bus of this test's own, before anything opens the session bus, with a notification
        // server on it. The keychain, which would look for its service on that bus, stays in
        // memory.
        platform::Keychain::useInMemoryBackendForTesting();
        bus = std::make_unique<fakes::PrivateBus>();
        QVERIFY(!bus->address().isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
        notifications = std::make_unique<fakes::FakeNotificationServer>(bus->address());
        QVERIFY(notifications->isRegistered());
        previousHandler = qInstallMessageHandler(recordAppLog);
    }

    void cleanup()
    {
        app.reset();
        // Nothing of this test stays on screen for the next one.
        QTRY_VERIFY([] {
            const QWidgetList windows = QApplication::topLevelWidgets();
            return std::none_of(windows.cbegin(), windows.cend(), [](QWidget *w) { return w->isVisible(); });
        }());
    }

    // Keep first: it needs a process in which nothing registered the defaults yet.
    void launchDefaultsAreRegisteredBeforeUseAndStoredValuesWin()
    {
        auto &defaults = UserDefaults::standard();
        QVERIFY(!defaults.value(QStringLiteral("loadReviewsAtLaunch")).isValid());
        defaults.setValue(QStringLiteral("showNotifications"), false);

        startApp();
        QTRY_VERIFY(appLog.contains(QStringLiteral("Notifications allowed")));
        QVERIFY(defaults.boolValue(QStringLiteral("loadReviewsAtLaunch")));
        QVERIFY(defaults.boolValue(QStringLiteral("enableTranslationSupport")));
        QVERIFY(!defaults.boolValue(QStringLiteral("showNotifications")));
        QVERIFY(!defaults.boolValue(QStringLiteral("showsStatusItem")));
        QVERIFY(!app->trayItem().isInserted());
        // Analytics started without waiting for the notification answer.
        QVERIFY(platform::Analytics::isStarted());
        QTRY_COMPARE(notifications->serverInformationRequests(), 1);
        // The main window's appearance switched automatic update checks on.
        QVERIFY(app->updater()->automaticallyChecksForUpdates());
    }

    void menusHoldTheirItemsInOrder()
    {
        startApp();
        QMenuBar *bar = app->mainWindow()->menuBar();
        QStringList titles;
        for (QAction *menu : bar->actions())
            titles << menu->text();
        QCOMPARE(titles, (QStringList{"&Vantorel", "&File", "&View", "&Help"}));

        QMainWindow *window = app->mainWindow();
        QCOMPARE(describe(bar->actions().at(0)->menu()),
                 (QStringList{"Check for Updates\u2026", "Settings\u2026", "-", "Quit"}));
        QCOMPARE(describe(bar->actions().at(1)->menu()), QStringList{"Download Latest Data"});
        QCOMPARE(describe(bar->actions().at(2)->menu()),
                 (QStringList{"Show Hidden Apps", "Show Apps Without Reviews", "-"}));
        QCOMPARE(describe(bar->actions().at(3)->menu()),
                 (QStringList{"Follow Us >", "-", "Report Issue\u2026", "Request Feature\u2026", "Send Feedback\u2026",
                              "-", "Trigger Widget Update", "-", "Vantorel Help"}));
        QCOMPARE(describe(window->findChild<QMenu *>(QStringLiteral("followUsMenu"))),
                 (QStringList{"on Instagram", "on Mastodon", "on Threads", "on X (Formerly Twitter)"}));

        QVERIFY(!action(window, "settings")->shortcut().isEmpty());
        QCOMPARE(action(window, "quit")->shortcut(), QKeySequence(QKeySequence::Quit));
        QCOMPARE(action(window, "downloadLatestData")->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
        QCOMPARE(action(window, "vantorelHelp")->shortcut(), QKeySequence(QStringLiteral("Ctrl+?")));
    }

    void helpLinksWithoutABrowserSaySo()
    {
        // As xdg-open ends when the desktop has no program for a link.
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("xdg-open"));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho 'xdg-open: no method available for opening' >&2\nexit 3\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        setLinkLauncherForTesting(program);
        const auto reset = qScopeGuard([] { setLinkLauncherForTesting(QString()); });

        startApp();
        QMainWindow *window = app->mainWindow();
        for (const char *name : {"vantorelHelp", "followOnMastodon"}) {
            action(window, name)->trigger();
            QMessageBox *box = nullptr;
            QTRY_VERIFY((box = window->findChild<QMessageBox *>(QStringLiteral("linkAlert"))) && box->isVisible());
            QCOMPARE(box->text(), QStringLiteral("No program could open this link."));
            QVERIFY(box->informativeText().startsWith(QStringLiteral("https://")));
            box->accept();
            QTRY_VERIFY(!window->findChild<QMessageBox *>(QStringLiteral("linkAlert")));
        }
    }

    void viewSwitchesFollowTheModelBothWays()
    {
        startApp();
        QAction *hidden = action(app->mainWindow(), "showHiddenApps");
        QAction *noReviews = action(app->mainWindow(), "showAppsWithoutReviews");
        QVERIFY(hidden->isCheckable() && !hidden->isChecked());
        hidden->trigger();
        QVERIFY(app->viewModel().includeHiddenApps());
        QVERIFY(UserDefaults::standard().boolValue(QStringLiteral("includeHiddenApps")));
        app->viewModel().setIncludeAppsWithNoReviews(true);
        QVERIFY(noReviews->isChecked());
        hidden->trigger();
        noReviews->trigger();
        QVERIFY(!app->viewModel().includeHiddenApps());
        QVERIFY(!app->viewModel().includeAppsWithNoReviews());
    }

    void downloadWhileASyncRunsIsSkipped()
    {
        startApp();
        QTRY_VERIFY(!app->viewModel().isSyncing());
        QAction *download = action(app->mainWindow(), "downloadLatestData");
        download->trigger();
        QVERIFY(app->viewModel().isSyncing());
        QVERIFY(app->mainWindow()->showsBusyIndicator());
        download->trigger();
        QVERIFY(appLog.contains(QStringLiteral("Already syncing; skipping another sync")));
        QTRY_VERIFY(!app->viewModel().isSyncing());
        QVERIFY(!app->mainWindow()->showsBusyIndicator());
    }

    void feedbackItemsAndLinkOpenOneForm()
    {
        startApp();
        QPointer<FeedbackView> form;
        for (const char *name : {"reportIssue", "requestFeature", "sendFeedback"}) {
            action(app->mainWindow(), name)->trigger();
            QVERIFY2(app->feedbackWindow() && app->feedbackWindow()->isVisible(), name);
            if (!form)
                form = app->feedbackWindow();
            QCOMPARE(app->feedbackWindow(), form.data());
        }
        // What was typed stays when the form is brought up again.
        form->model().setMessage(QStringLiteral("Half a thought"));
        QDesktopServices::openUrl(QUrl(QStringLiteral("vantorel://SendFeedback")));
        QCOMPARE(app->feedbackWindow(), form.data());
        QCOMPARE(form->model().message(), QStringLiteral("Half a thought"));

        form->close();
        QTRY_VERIFY(form.isNull());
        VantorelApp::openFeedbackWindow();
        QVERIFY(app->feedbackWindow() && app->feedbackWindow()->isVisible());
    }

    void feedbackCarriesTheBuildsTokenUnlessTheEnvironmentGivesOne_data()
    {
        QTest::addColumn<QByteArray>("given");
        QTest::addColumn<QByteArray>("sent");
        // The debug and asan presets build with this token, so that a build that ignores the
        // configured one (and sends the placeholder, say) fails here.
        QTest::newRow("configured") << QByteArray() << QByteArray("ci-feedback-token-4711");
        QTest::newRow("from the environment") << QByteArray(" 0b5f-given-at-run-time ") << QByteArray("0b5f-given-at-run-time");
    }
    void feedbackCarriesTheBuildsTokenUnlessTheEnvironmentGivesOne()
    {
        QFETCH(QByteArray, given);
        QFETCH(QByteArray, sent);
        if (given.isEmpty()) {
            QVERIFY2(QByteArray(CONFIGURED_FEEDBACK_TOKEN) == sent,
                     "this build was configured with another VANTOREL_FEEDBACK_TOKEN than the test presets' "
                     "(cmake --preset debug or asan)");
        }
        fakes::FakeEmailServer server;
        Fennick::Endpoints::setBaseUrl(Fennick::Endpoints::Service::email, server.baseUrl());
        if (given.isEmpty())
            qunsetenv("VANTOREL_EMAIL_TOKEN");
        else
            qputenv("VANTOREL_EMAIL_TOKEN", given);
        startApp();
        VantorelApp::openFeedbackWindow();
        QPointer<FeedbackView> form = app->feedbackWindow();
        QVERIFY(form);
        form->model().setMessage(QStringLiteral("Eleven characters at least"));
        form->findChild<QPushButton *>(QStringLiteral("send"))->click();
        QVERIFY(server.waitForRequests(1, 10000));
        QCOMPARE(server.requests().first().token, sent);
        QTRY_VERIFY(form.isNull());  // the service took it
        qunsetenv("VANTOREL_EMAIL_TOKEN");
        Fennick::Endpoints::setBaseUrl(Fennick::Endpoints::Service::email, QString());
        // The token is the deployment's secret: never in the log.
        for (const QString &line : std::as_const(appLog))
            QVERIFY2(!line.contains(QString::fromLatin1(sent)), qPrintable(line));
    }

    void linksBeforeStartWaitForTheMainWindow()
    {
        app = std::make_unique<VantorelApp>();
        app->handleLaunchMessage("vantorel://SendFeedback");
        app->handleUrl(QUrl(QStringLiteral("https://example.com/")));
        QVERIFY(!app->feedbackWindow());
        QVERIFY(!app->mainWindow());
        app->start();
        QVERIFY(appLog.contains(QStringLiteral("Ignoring the link https://example.com/")));
        QVERIFY(app->mainWindow()->isVisible());
        QVERIFY(app->feedbackWindow() && app->feedbackWindow()->isVisible());

        // A plain second launch brings the main window back.
        app->mainWindow()->hide();
        app->handleLaunchMessage(QByteArray());
        QVERIFY(app->mainWindow()->isVisible());
    }

    void checkForUpdatesPointsToThePackageManager()
    {
        startApp();
        action(app->mainWindow(), "checkForUpdates")->trigger();
        action(app->mainWindow(), "checkForUpdates")->trigger();
        QList<QMessageBox *> boxes;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                boxes << box;
        }
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first()->text(), QStringLiteral("ShellTest is updated by your system's package manager."));
        boxes.first()->close();
    }

    void statusItemFollowsTheSettingAtOnce()
    {
        startApp();
        TrayItem &tray = app->trayItem();
        QVERIFY(!tray.isInserted());
        UserDefaults::standard().setValue(SettingsKey::showsStatusItem, true);
        QVERIFY(tray.isInserted());
        QCOMPARE(describe(tray.menu()), (QStringList{"Show Vantorel", "-", "Quit"}));
        UserDefaults::standard().setValue(SettingsKey::showsStatusItem, false);
        QVERIFY(!tray.isInserted());
        UserDefaults::standard().setValue(SettingsKey::showsStatusItem, true);
        QVERIFY(tray.isInserted());

        // "Show Vantorel" opens no window by itself.
        app->mainWindow()->hide();
        tray.menu()->actions().first()->trigger();
        QVERIFY(!app->mainWindow()->isVisible());
        app->mainWindow()->show();
    }

    void addAnAccountOpensTheSettingsOnTheAccountsTab()
    {
        storeSettingsTab(Tab::general);
        startApp();
        QCOMPARE(app->mainWindow()->detailCase(), MainWindow::DetailCase::addAccount);
        app->mainWindow()->detailView()->findChild<QPushButton *>(QStringLiteral("addAccount"))->click();
        auto *settings = qobject_cast<SettingsView *>(app->settingsWindow());
        QVERIFY(settings && settings->isVisible());
        QCOMPARE(settings->selectedTab(), Tab::accounts);
        QCOMPARE(settings->width(), int(SettingsView::minimumViewWidth));

        // "Settings…" brings the same window up again, on the tab the user left it on.
        settings->setSelectedTab(Tab::general);
        action(app->mainWindow(), "settings")->trigger();
        QCOMPARE(app->settingsWindow(), settings);
        QCOMPARE(settings->selectedTab(), Tab::general);
        settings->close();
        QTRY_VERIFY(!app->settingsWindow());
        action(app->mainWindow(), "settings")->trigger();
        QVERIFY(app->settingsWindow() && app->settingsWindow()->isVisible());
    }

    void settingsAndFeedbackOpenOverTheMainWindow_data()
    {
        QTest::addColumn<bool>("settings");
        QTest::newRow("settings") << true;
        QTest::newRow("feedback") << false;
    }
    void settingsAndFeedbackOpenOverTheMainWindow()
    {
        QFETCH(bool, settings);
        startApp();
        QMainWindow *window = app->mainWindow();
        // Wide and low in the bottom right corner, away from the screen's centre and its top
        // left corner, where windows without a place land.
        const QRect area = window->screen()->availableGeometry();
        window->resize(area.width() * 3 / 4, area.height() / 3);
        QRect frame = window->frameGeometry();
        frame.moveBottomRight(area.bottomRight());
        window->move(frame.topLeft());
        QTRY_COMPARE(window->frameGeometry(), frame);
        QVERIFY(!frame.contains(area.center()) && !frame.contains(area.topLeft()));

        if (settings)
            app->showSettingsWindow();
        else
            app->showFeedbackWindow();
        QWidget *opened = settings ? app->settingsWindow() : app->feedbackWindow();
        QVERIFY(QTest::qWaitForWindowExposed(opened));
        const QPoint centre = opened->frameGeometry().center();
        QVERIFY2(window->frameGeometry().contains(centre),
                 qPrintable(QStringLiteral("centre %1,%2").arg(centre.x()).arg(centre.y())));
    }

    void aNotificationClickSelectsTheFirstAccount()
    {
        auto &center = platform::UserNotificationCenter::current();
        auto click = [&] {
            QSignalSpy shown(notifications.get(), &fakes::FakeNotificationServer::notified);
            center.add(QStringLiteral("n"), QStringLiteral("New Review"), QStringLiteral("body"));
            QTRY_COMPARE(shown.count(), 1);
            QSignalSpy activated(&center, &platform::UserNotificationCenter::activated);
            notifications->invokeAction(notifications->notifications().last().id);
            QTRY_COMPARE(activated.count(), 1);
        };

        // Before the main window was ever shown: nothing to call, nothing happens.
        app = std::make_unique<VantorelApp>();
        QVERIFY(!app->delegate().onReceiveNotification);
        app->delegate().applicationDidFinishLaunching();
        click();
        QVERIFY(!app->viewModel().selectedEntry());
        app.reset();

        // No sections: nothing is selected.
        startApp();
        QVERIFY(app->viewModel().accountsWithApps().isEmpty());
        click();
        QVERIFY(!app->viewModel().selectedEntry());
        app.reset();

        addAccountWithReview(QStringLiteral("First"));
        addAccountWithReview(QStringLiteral("Second"));
        startApp();
        QCOMPARE(app->viewModel().accountsWithApps().size(), 2);
        click();
        QVERIFY(app->viewModel().selectedEntry() && app->viewModel().selectedEntry()->isAccount());
        QCOMPARE(app->viewModel().selectedEntry()->accountValue()->id(),
                 app->viewModel().accountsWithApps().first().account->id());
        QCOMPARE(app->mainWindow()->detailCase(), MainWindow::DetailCase::accountSummary);
    }

    // Keep last: it quits the application's event loop.
    void closingTheLastWindowQuitsAndWritesTheSeenMarks()
    {
        const platform::store::ObjectId seen = addAccountWithReview(QStringLiteral("Third"))->objectId();
        startApp();
        UserDefaults::standard().setValue(SettingsKey::showsStatusItem, true);
        QVERIFY(app->trayItem().isInserted());
        Fennick::ReviewStateTracker::shared().markAsOld(seen);

        QTimer::singleShot(0, app->mainWindow(), [this] { app->mainWindow()->close(); });
        QVERIFY(runUntilQuit());
        auto background = Fennick::PersistenceController::shared().container().newBackgroundContext();
        QVERIFY(!background->performAndWait(
            [&](platform::store::Context &c) { return c.existingObject<Fennick::ManagedReview>(seen)->isNew(); }));
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, ShellTest)
#include "tst_shell.moc"
