#include "Fennick/GroupSettings.h"
#include "app/models/SettingsKeys.h"
#include "Fennick/Icons/IconManager.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/ReferenceDate.h"
#include "app/models/LaunchTask.h"
#include "app/models/MainViewModel.h"
#include "app/models/SettingsTab.h"
#include "app/models/SidebarModel.h"
#include "app/models/AccountSummaryViewModel.h"
#include "app/models/AppSummaryViewModel.h"
#include "app/views/AccountSummaryView.h"
#include "app/views/AppSummaryView.h"
#include "app/views/MainWindow.h"
#include "app/views/ReviewListView.h"
#include "app/views/SidebarView.h"
#include "platform/UserDefaults.h"
#include "support/Images.h"
#include "support/TestHome.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QScopeGuard>
#include <QStyleOptionComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <cmath>

using namespace Vantorel;
using Fennick::ManagedAccount;
using Fennick::ManagedApp;
using platform::UserDefaults;

class MainWindowTest : public QObject {
    Q_OBJECT

    static platform::store::Context &view() { return Fennick::PersistenceController::shared().container().viewContext(); }

    static ManagedApp *addApp(ManagedAccount *account, const QString &name, const QString &identifier, QColor icon)
    {
        auto *app = view().insert<ManagedApp>();
        app->setName(name);
        app->setIdentifier(identifier);
        app->setAccount(account);
        auto *version = view().insert<Fennick::ManagedAppVersion>();
        version->setApp(app);
        version->setVersion(QStringLiteral("2.1"));
        const struct {
            int rating;
            const char *title;
            const char *body;
        } reviews[] = {
            {5, "Does exactly what it says", "Quick to open, clear to read, and it has never lost anything of mine."},
            {2, "Crashes on start since the update", "Since 2.1 it closes itself as soon as it opens. Please fix."},
        };
        int n = 0;
        for (const auto &text : reviews) {
            auto *review = view().insert<Fennick::ManagedReview>();
            review->setVersion(version);
            review->setApp(app);
            review->setAccount(account);
            review->setIdentifier(identifier + QStringLiteral("-r%1").arg(++n));
            review->setRating(text.rating);
            review->setTitle(QString::fromUtf8(text.title));
            review->setBody(QString::fromUtf8(text.body));
            review->setNickname(QStringLiteral("reviewer%1").arg(n));
            review->setTerritory(QStringLiteral("USA"));
            review->setCreated(QDateTime(QDate(2024, 3, n), QTime(9, 30), Qt::UTC));
        }
        if (icon.isValid())
            Fennick::IconManager().store(testsupport::pngBytes(icon, 60), identifier);
        return app;
    }

    static void fillStore()
    {
        auto *first = view().insert<ManagedAccount>();
        first->setName(QStringLiteral("Blue Harbour Apps"));
        addApp(first, QStringLiteral("Tide Tables"), QStringLiteral("101"), QColor(0x1e, 0x88, 0xe5));
        addApp(first, QStringLiteral("Harbour Log"), QStringLiteral("102"), QColor(0x43, 0xa0, 0x47));
        addApp(first, QStringLiteral("Knots"), QStringLiteral("103"), QColor())->setIsHidden(true);
        auto *second = view().insert<ManagedAccount>();
        second->setName(QStringLiteral("Side Projects"));
        addApp(second, QStringLiteral("Pomodoro Pal"), QStringLiteral("201"), QColor(0xe5, 0x39, 0x35));
        view().save();
    }

    // For the tests that need the filled store whichever runs first.
    void fillStoreOnce()
    {
        if (!m_filled)
            fillStore();
        m_filled = true;
    }

    bool m_filled = false;
    std::unique_ptr<MainViewModel> model;
    std::unique_ptr<MainWindow> window;

    void showWindow()
    {
        window = std::make_unique<MainWindow>(*model);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY(model->performedInitialLoad());
        QTRY_VERIFY(!model->isSyncing());
    }

    QModelIndex row(int section, int child) const
    {
        const SidebarModel *rows = window->sidebar()->sidebarModel();
        return rows->index(child, 0, rows->index(section, 0));
    }

    void click(const QModelIndex &index)
    {
        QTreeView *sidebar = window->sidebar();
        QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {}, sidebar->visualRect(index).center());
    }

private slots:
    void init()
    {
        // No download at launch unless a test asks for one.
        UserDefaults::standard().setValue(SettingsKey::loadReviewsAtLaunch, false);
        model = std::make_unique<MainViewModel>();
    }

    void cleanup()
    {
        window.reset();
        model.reset();
    }

    // Keep first: it needs the empty store.
    void noAccountsShowsOnlyAfterTheFirstLoad()
    {
        UserDefaults::standard().setValue(settingsTabSelectionKey, 0);
        window = std::make_unique<MainWindow>(*model);
        window->show();
        // Before the first load ends: a silent sidebar and the hint.
        QVERIFY(!model->performedInitialLoad());
        QVERIFY(!window->sidebar()->showsNoAccounts());
        QCOMPARE(window->detailCase(), MainWindow::DetailCase::nothingSelected);
        QCOMPARE(qobject_cast<QLabel *>(window->detailView())->text(), QStringLiteral("Select an item from the sidebar"));

        QTRY_VERIFY(model->performedInitialLoad());
        QVERIFY(window->sidebar()->showsNoAccounts());
        QCOMPARE(window->detailCase(), MainWindow::DetailCase::addAccount);
        auto *add = window->detailView()->findChild<QPushButton *>(QStringLiteral("addAccount"));
        QCOMPARE(add->text(), QStringLiteral("Add an Account\u2026"));
        window->grab().save(QStringLiteral(SCREENSHOT_DIR "/main-window-no-accounts.png"));

        // The settings window opens on the Accounts tab even if it was left on General.
        QSignalSpy requested(window.get(), &MainWindow::settingsWindowRequested);
        add->click();
        QCOMPARE(requested.count(), 1);
        QCOMPARE(UserDefaults::standard().integerValue(settingsTabSelectionKey), qint64(1));
        UserDefaults::standard().removeValue(settingsTabSelectionKey);
    }

    void theDetailFollowsTheSelection()
    {
        fillStoreOnce();
        showWindow();
        QVERIFY(!window->sidebar()->showsNoAccounts());
        QCOMPARE(window->detailCase(), MainWindow::DetailCase::nothingSelected);
        QCOMPARE(window->splitter()->sizes().first(), SidebarView::idealColumnWidth);
        QCOMPARE(window->sidebar()->minimumWidth(), 180);
        QCOMPARE(window->sidebar()->maximumWidth(), 800);

        // A heading is not selectable.
        click(window->sidebar()->sidebarModel()->index(0, 0));
        QVERIFY(!model->selectedEntry());

        click(row(0, 1));
        QVERIFY(model->selectedEntry() && model->selectedEntry()->isApp());
        QCOMPARE(model->selectedEntry()->appValue().name, QStringLiteral("Harbour Log"));
        QCOMPARE(window->detailCase(), MainWindow::DetailCase::appSummary);
        QVERIFY(window->searchField());
        QCOMPARE(window->searchField()->parentWidget()->objectName(), QStringLiteral("searchHolder"));
        const QPointer<QWidget> summary = window->detailView();
        QTRY_COMPARE(qobject_cast<AppSummaryView *>(summary.data())->viewModel()->reviews().size(), 2);
        window->grab().save(QStringLiteral(SCREENSHOT_DIR "/main-window-app.png"));

        // Clicking a heading changes nothing: the app stays selected and shown.
        for (int section : {0, 1}) {
            click(window->sidebar()->sidebarModel()->index(section, 0));
            QCOMPARE(model->selectedEntry()->appValue().name, QStringLiteral("Harbour Log"));
            QCOMPARE(window->detailView(), summary.data());
            QVERIFY(window->sidebar()->selectionModel()->isSelected(row(0, 1)));
        }

        // The same record again keeps its summary; another app gets a fresh one.
        model->setSelectedEntry(model->selectedEntry());
        QCOMPARE(window->detailView(), summary.data());
        click(row(0, 2));
        QTRY_VERIFY(summary.isNull());
        QCOMPARE(model->selectedEntry()->appValue().name, QStringLiteral("Tide Tables"));

        click(row(1, 0));
        QVERIFY(model->selectedEntry()->isAccount());
        QCOMPARE(model->selectedEntry()->accountValue()->name(), QStringLiteral("Side Projects"));
        QCOMPARE(window->detailCase(), MainWindow::DetailCase::accountSummary);
        QTRY_COMPARE(qobject_cast<AccountSummaryView *>(window->detailView())->viewModel()->reviews().size(), 2);
        window->grab().save(QStringLiteral(SCREENSHOT_DIR "/main-window-account.png"));

        // Set from outside (a notification click), the sidebar follows.
        model->setSelectedEntry(SelectedEntry::account(model->accountsWithApps().first().account));
        QCOMPARE(window->sidebar()->currentIndex(), row(0, 0));
        QVERIFY(window->sidebar()->selectionModel()->isSelected(row(0, 0)));

        model->setSelectedEntry(std::nullopt);
        QCOMPARE(window->detailCase(), MainWindow::DetailCase::nothingSelected);
        QVERIFY(!window->searchField());
    }

    void headingsAreReadableInLightAndDark_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << QApplication::palette();
        // A dark palette as dark desktop themes make it: light text on dark grey, the disabled
        // roles in between.
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
        dark.setColor(QPalette::AlternateBase, QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
        dark.setColor(QPalette::HighlightedText, Qt::white);
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            dark.setColor(QPalette::Disabled, role, QColor(0x5a, 0x5a, 0x5a));
        QTest::newRow("dark") << dark;
        // Dark grey text on white (7 : 1): the first steps of dimming give 2.8 : 1 to 4.3 : 1, so a
        // heading dimmed for any bar below 4.5 : 1 fails here (black text dims to 5.5 : 1 at once).
        QPalette grey = QApplication::palette();
        for (const auto group : {QPalette::Active, QPalette::Inactive}) {
            grey.setColor(group, QPalette::Base, Qt::white);
            grey.setColor(group, QPalette::Text, QColor(0x59, 0x59, 0x59));
        }
        QTest::newRow("grey") << grey;
    }
    void headingsAreReadableInLightAndDark()
    {
        QFETCH(QPalette, palette);
        fillStoreOnce();
        showWindow();
        SidebarView *sidebar = window->sidebar();
        sidebar->setPalette(palette);
        QTest::qWait(20);
        const QRect heading = sidebar->visualRect(sidebar->sidebarModel()->index(0, 0));
        QVERIFY(heading.isValid());
        const QImage image = sidebar->viewport()->grab(heading).toImage();
        image.save(QStringLiteral(SCREENSHOT_DIR "/sidebar-heading-%1.png").arg(QString::fromLatin1(QTest::currentDataTag())));
        sidebar->viewport()->grab().save(
            QStringLiteral(SCREENSHOT_DIR "/sidebar-%1.png").arg(QString::fromLatin1(QTest::currentDataTag())));
        // WCAG 2: relative luminance, then (lighter + 0.05) / (darker + 0.05).
        const auto luminance = [](QRgb pixel) {
            const auto linear = [](int value) {
                const double c = value / 255.0;
                return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * linear(qRed(pixel)) + 0.7152 * linear(qGreen(pixel)) + 0.0722 * linear(qBlue(pixel));
        };
        const double background = luminance(image.pixel(1, 1));
        double best = 1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const double ink = luminance(image.pixel(x, y));
                best = std::max(best, (std::max(ink, background) + 0.05) / (std::min(ink, background) + 0.05));
            }
        }
        // The strokes' cores carry the text colour itself.
        QVERIFY2(best >= 4.5, qPrintable(QString::number(best)));
    }

    void keyboardReachesTheDetailColumn()
    {
        fillStoreOnce();
        showWindow();
        click(row(0, 1));
        QTRY_COMPARE(qobject_cast<AppSummaryView *>(window->detailView())->viewModel()->reviews().size(), 2);
        QVERIFY(QTest::qWaitForWindowActive(window.get()));

        // Ctrl+F from anywhere in the window goes to the search field.
        for (const char *from : {"reviewList", "sidebar"}) {
            auto *start = window->findChild<QWidget *>(QString::fromLatin1(from));
            start->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(start, Qt::Key_F, Qt::ControlModifier);
            QCOMPARE(QApplication::focusWidget(), window->searchField());
        }

        // Tab from the sidebar: the search field above the detail, its bar from left to right, the
        // list, the current card's buttons, and round again.
        window->sidebar()->setFocus(Qt::TabFocusReason);
        QStringList order;
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, (QStringList{QStringLiteral("searchField"), QStringLiteral("versionPicker"),
                                     QStringLiteral("sortPicker"), QStringLiteral("filterButton"),
                                     QStringLiteral("reviewList"), QStringLiteral("writeResponseButton"),
                                     QStringLiteral("shareButton"), QStringLiteral("sidebar")}));
    }

    void detailBarIsWholeAtTheMinimumWidth_data()
    {
        QTest::addColumn<QFont>("font");
        QTest::newRow("DejaVu Sans 9") << QFont(QStringLiteral("DejaVu Sans"), 9);
        QTest::newRow("DejaVu Sans 11") << QFont(QStringLiteral("DejaVu Sans"), 11);
        QTest::newRow("Noto Sans CJK 10") << QFont(QStringLiteral("Noto Sans CJK JP"), 10);
    }
    void detailBarIsWholeAtTheMinimumWidth()
    {
        QFETCH(QFont, font);
        if (!QFontDatabase::hasFamily(font.family()))
            QSKIP("The font is not installed");
        fillStoreOnce();
        const QFont before = QApplication::font();
        QApplication::setFont(font);
        const auto restore = qScopeGuard([&] { QApplication::setFont(before); });
        showWindow();
        click(row(0, 1));
        auto *summary = qobject_cast<AppSummaryView *>(window->detailView());
        QVERIFY(summary);
        QTRY_COMPARE(summary->versionPicker()->count(), 2);
        window->resize(window->minimumSizeHint().width(), 600);
        QTRY_COMPARE(window->width(), window->minimumSizeHint().width());
        QTest::qWait(50);
        window->grab().save(QStringLiteral(SCREENSHOT_DIR "/main-window-minimum-%1.png")
                                .arg(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'))));

        QStringList cut;
        // A picker shows its longest choice whole in its text field.
        for (QComboBox *picker : {summary->versionPicker(), summary->sortPicker()}) {
            QStyleOptionComboBox option;
            option.initFrom(picker);
            option.rect = picker->rect();
            option.editable = false;
            const QRect field = picker->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                                QStyle::SC_ComboBoxEditField, picker);
            for (int i = 0; i < picker->count(); ++i) {
                if (picker->fontMetrics().horizontalAdvance(picker->itemText(i)) > field.width())
                    cut << picker->objectName() + QLatin1Char(':') + picker->itemText(i);
            }
        }
        // Buttons and labels get at least the width they ask for.
        QList<QWidget *> others{summary->filterButton(), summary->countLabel()};
        for (QLabel *label : summary->findChildren<QLabel *>()) {
            if (label->buddy())
                others << label;
        }
        QCOMPARE(others.size(), 4);
        for (QWidget *widget : others) {
            if (widget->width() < widget->sizeHint().width())
                cut << widget->objectName() + QLatin1Char(':') + QString::number(widget->width());
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
        // The window is still usable: the list has room.
        QVERIFY(summary->reviewList()->width() >= 300);
    }

    void contextMenuHidesAndUnhides()
    {
        showWindow();
        SidebarView *sidebar = window->sidebar();
        QVERIFY(!sidebar->makeContextMenu(row(0, 0), nullptr));  // "All Apps"
        std::unique_ptr<QMenu> menu(sidebar->makeContextMenu(row(0, 1), nullptr));
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Hide App"));
        menu->actions().first()->trigger();
        QTRY_COMPARE(sidebar->model()->rowCount(sidebar->model()->index(0, 0)), 2);  // "All Apps", Tide Tables

        model->setIncludeHiddenApps(true);
        QTRY_COMPARE(sidebar->model()->rowCount(sidebar->model()->index(0, 0)), 4);
        // Harbour Log and Knots are hidden now; both offer "Unhide App".
        for (int child : {1, 2}) {
            std::unique_ptr<QMenu> unhide(sidebar->makeContextMenu(row(0, child), nullptr));
            QCOMPARE(unhide->actions().first()->text(), QStringLiteral("Unhide App"));
        }
        std::unique_ptr<QMenu> tide(sidebar->makeContextMenu(row(0, 3), nullptr));
        QCOMPARE(tide->actions().first()->text(), QStringLiteral("Hide App"));
        std::unique_ptr<QMenu>(sidebar->makeContextMenu(row(0, 1), nullptr))->actions().first()->trigger();
        QTRY_VERIFY(!row(0, 1).data(SidebarModel::IsHiddenRole).toBool());
        model->setIncludeHiddenApps(false);
        QTRY_COMPARE(sidebar->model()->rowCount(sidebar->model()->index(0, 0)), 3);
    }

    void showingAgainRunsTheLaunchTaskAgain()
    {
        UserDefaults::standard().setValue(SettingsKey::loadReviewsAtLaunch, true);
        Fennick::GroupSettings::setLastFullDownloadDate(Fennick::secondsSinceReferenceDate());
        showWindow();
        QSignalSpy syncing(model.get(), &MainViewModel::isSyncingChanged);
        const int sections = int(model->accountsWithApps().size());
        view().insert<ManagedAccount>()->setName(QStringLiteral("Added Meanwhile"));
        view().save();
        window->hide();
        QTest::qWait(50);
        QCOMPARE(model->accountsWithApps().size(), sections);
        QCOMPARE(syncing.count(), 0);

        // A day and a bit later, the window comes back: the sidebar reloads and a download runs
        // with the busy indicator shown.
        Fennick::GroupSettings::setLastFullDownloadDate(Fennick::secondsSinceReferenceDate() - 86401);
        bool busyShown = false;
        connect(model.get(), &MainViewModel::isSyncingChanged, this, [&] {
            if (model->isSyncing())
                busyShown = window->showsBusyIndicator();
        });
        window->show();
        QTRY_COMPARE(model->accountsWithApps().size(), sections + 1);
        QTRY_VERIFY(syncing.count() >= 1);
        QTRY_VERIFY(!model->isSyncing());
        QVERIFY(busyShown);
        QVERIFY(!window->showsBusyIndicator());
    }

    // Keep the following last: they leave a kept place behind. They run on two screens, 1920x1080
    // and 1280x1024 to its right.
    void placeSizeAndSidebarComeBackAtTheNextStart_data()
    {
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<int>("sidebarWidth");
        QTest::addColumn<bool>("maximized");
        const QRect base(120, 90, 980, 660);
        QTest::newRow("as left") << base << 280 << false;
        QTest::newRow("moved") << base.translated(300, 150) << 280 << false;
        QTest::newRow("moved to the second screen") << QRect(QPoint(2050, 120), base.size()) << 280 << false;
        QTest::newRow("resized") << QRect(base.topLeft(), QSize(1200, 800)) << 280 << false;
        QTest::newRow("wider sidebar") << base << 360 << false;
        QTest::newRow("maximised") << base << 280 << true;
    }
    void placeSizeAndSidebarComeBackAtTheNextStart()
    {
        QFETCH(QRect, geometry);
        QFETCH(int, sidebarWidth);
        QFETCH(bool, maximized);
        QCOMPARE(QGuiApplication::screens().size(), 2);
        showWindow();
        window->showNormal();
        window->setGeometry(geometry);
        window->splitter()->setSizes({sidebarWidth, geometry.width() - sidebarWidth});
        if (maximized)
            window->showMaximized();
        QTRY_COMPARE(window->isMaximized(), maximized);
        QTRY_COMPARE(window->normalGeometry(), geometry);
        QCOMPARE(window->splitter()->sizes().value(0), sidebarWidth);
        window->close();
        window.reset();

        showWindow();
        QCOMPARE(window->isMaximized(), maximized);
        QCOMPARE(window->normalGeometry(), geometry);
        QCOMPARE(window->splitter()->sizes().value(0), sidebarWidth);
    }

    void keptPlaceOffTheScreensIsCorrected_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("expectedFrame");  // null: not the kept place, wholly on a screen

        QTest::newRow("off the left of the first screen") << QRect(-300, 100, 980, 660) << QRect(0, 100, 980, 660);
        QTest::newRow("off the bottom of the first screen") << QRect(300, 600, 980, 660) << QRect(300, 420, 980, 660);
        QTest::newRow("mostly on the second screen") << QRect(1700, 100, 980, 660) << QRect(1920, 100, 980, 660);
        QTest::newRow("off the bottom of the second screen") << QRect(2100, 700, 980, 660)
                                                             << QRect(2100, 364, 980, 660);
        QTest::newRow("off the right of the second screen") << QRect(2600, 100, 980, 660)
                                                            << QRect(2220, 100, 980, 660);
        QTest::newRow("bigger than the second screen") << QRect(2000, 50, 1400, 1100) << QRect(1920, 0, 1280, 1024);
        QTest::newRow("on a screen that is gone") << QRect(4000, 100, 980, 660) << QRect();
    }
    void keptPlaceOffTheScreensIsCorrected()
    {
        QFETCH(QRect, frame);
        QFETCH(QRect, expectedFrame);
        QCOMPARE(QGuiApplication::screens().size(), 2);
        // As if the screens had changed since: the window was left where it is no longer whole.
        showWindow();
        window->showNormal();
        QTRY_VERIFY(!window->isMaximized());
        const QMargins margins(window->geometry().left() - window->frameGeometry().left(),
                               window->geometry().top() - window->frameGeometry().top(),
                               window->frameGeometry().right() - window->geometry().right(),
                               window->frameGeometry().bottom() - window->geometry().bottom());
        window->setGeometry(frame.marginsRemoved(margins));
        QTRY_COMPARE(window->frameGeometry(), frame);
        window->close();
        window.reset();

        showWindow();
        const QRect shown = window->frameGeometry();
        if (expectedFrame.isNull()) {
            QVERIFY(shown.size() != frame.size());
            const QList<QScreen *> screens = QGuiApplication::screens();
            QVERIFY(std::any_of(screens.cbegin(), screens.cend(),
                                [&](QScreen *screen) { return screen->availableGeometry().contains(shown); }));
        } else {
            QCOMPARE(shown, expectedFrame);
        }
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, MainWindowTest)
#include "tst_main_window.moc"
