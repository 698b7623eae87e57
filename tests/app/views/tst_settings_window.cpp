#include "Fennick/Account.h"
#include "Fennick/Endpoints.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "app/models/AccountsViewModel.h"
#include "app/models/AccountDetailsViewModel.h"
#include "app/views/AccountDetailsView.h"
#include "app/views/AccountRowDelegate.h"
#include "app/views/AccountsSettingsView.h"
#include "app/views/GeneralSettingsView.h"
#include "app/views/SettingsView.h"
#include "platform/UserDefaults.h"
#include "platform/keychain/Keychain.h"
#include "platform/widgetkit/WidgetCenter.h"
#include "support/TestHome.h"

#include "FakeConnectServer.h"
#include "ViewTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>

using namespace Vantorel;
using Fennick::Account;
using Fennick::ManagedAccount;
using platform::Keychain;
using platform::UserDefaults;

namespace {
const QString emptyHint = QStringLiteral("Add an App Store Connect account\nto get started");
const QString selectHint = QStringLiteral("Select an account");

QList<QPointer<QFileDialog>> &openedDialogs = testsupport::recordedKeyFileDialogs();

platform::store::Context &viewContext()
{
    return Fennick::PersistenceController::shared().container().viewContext();
}

// A stored account as a sign-in leaves it: the row with blank key fields, the keys in the keychain.
QString storeAccount(const QString &name, const QString &issuer = QStringLiteral("issuer-1"))
{
    auto *row = viewContext().insert<ManagedAccount>();
    row->setName(name);
    row->setIssuerId(QString());
    row->setKeyId(QString());
    row->setKeyBlob(QByteArray());
    viewContext().save();
    const QString id = row->objectId().uriString();
    Account keys(std::nullopt, name, issuer, QStringLiteral("KEY-") + name, QByteArray("key bytes"));
    keys.saveToKeychain(id);
    return id;
}

QStringList storedNames()
{
    QStringList names;
    for (const ManagedAccount *row : viewContext().fetch(ManagedAccount::fetchRequest()))
        names << row->name().value_or(QString());
    return names;
}

// Counts the reload requests that reach the desktop widget.
class WidgetListener : public QObject {
public:
    WidgetListener()
    {
        QLocalServer::removeServer(platform::widgetkit::WidgetCenter::serverName());
        if (!m_server.listen(platform::widgetkit::WidgetCenter::serverName()))
            qFatal("cannot listen for widget reloads");
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] { m_received += socket->readAll(); });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    int reloads() const { return int(m_received.count(platform::widgetkit::WidgetCenter::reloadMessage)); }
    void clear() { m_received.clear(); }

private:
    QLocalServer m_server;
    QByteArray m_received;
};

// Shows `view` and waits until the list it loads on being shown has arrived, so that a test
// works on the stored accounts and no later load replaces what it has just added.
bool showAndLoad(QWidget *view, AccountsViewModel *model)
{
    QSignalSpy loaded(model, &AccountsViewModel::accountsChanged);
    view->show();  // may already deliver a quick load
    return QTest::qWaitFor([&loaded] { return loaded.count() > 0; }, 10000);
}

// The Accounts tab in a window, with its parts at hand.
struct AccountsTab {
    AccountsTab()
    {
        view.resize(640, 420);
        if (!showAndLoad(&view, view.viewModel()))
            qFatal("the accounts did not load");
        list = view.findChild<QListView *>(QStringLiteral("accountList"));
        remove = view.findChild<QToolButton *>(QStringLiteral("removeAccountButton"));
        add = view.findChild<QToolButton *>(QStringLiteral("addAccountButton"));
        hint = view.findChild<QLabel *>(QStringLiteral("accountsHint"));
    }
    QStringList rows() const
    {
        QStringList names;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            names << list->model()->index(row, 0).data().toString();
        return names;
    }
    int selectedRow() const
    {
        const QModelIndexList selected = list->selectionModel()->selectedRows();
        return selected.isEmpty() ? -1 : selected.first().row();
    }
    void clickRow(int row)
    {
        const QRect box = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    }
    bool showsHint(const QString &text) const
    {
        return !view.detailsView() && hint->isVisible() && hint->text() == text;
    }

    AccountsSettingsView view;
    QListView *list;
    QToolButton *remove;
    QToolButton *add;
    QLabel *hint;
};
}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<testsupport::Recorder> recorder;
    std::unique_ptr<WidgetListener> widget;
    std::unique_ptr<fakes::FakeConnectServer> server;

private slots:
    void initTestCase()
    {
        Keychain::useInMemoryBackendForTesting();
        recorder = std::make_unique<testsupport::Recorder>();
        widget = std::make_unique<WidgetListener>();
        server = std::make_unique<fakes::FakeConnectServer>();
        Fennick::Endpoints::setBaseUrl(Fennick::Endpoints::Service::connect, server->baseUrl());
    }
    void cleanupTestCase()
    {
        widget.reset();
        recorder.reset();
    }
    void init()
    {
        Keychain::resetInMemoryBackendForTesting();
        for (ManagedAccount *row : viewContext().fetch(ManagedAccount::fetchRequest()))
            viewContext().deleteObject(row);
        viewContext().save();
        UserDefaults::standard().removeValue(settingsTabSelectionKey);
        recorder->clear();
        widget->clear();
    }

    void opensOnTheStoredTab_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("nothing stored") << QVariant() << 0;
        QTest::newRow("general") << QVariant(0) << 0;
        QTest::newRow("accounts") << QVariant(1) << 1;
        QTest::newRow("no such tab") << QVariant(7) << 0;
        QTest::newRow("negative") << QVariant(-1) << 0;
        QTest::newRow("not a number") << QVariant(QStringLiteral("accounts")) << 0;
    }
    void opensOnTheStoredTab()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        if (stored.isValid())
            UserDefaults::standard().setValue(settingsTabSelectionKey, stored);
        SettingsView view;
        if (expected == 1)
            QVERIFY(showAndLoad(&view, view.accountsView()->viewModel()));
        else
            view.show();
        QCOMPARE(view.currentIndex(), expected);
        QCOMPARE(view.currentWidget() == view.accountsView(), expected == 1);
    }

    void tabChoiceIsKeptAcrossARestart()
    {
        {
            SettingsView view;
            view.show();
            QCOMPARE(view.tabText(0), QStringLiteral("General"));
            QCOMPARE(view.tabText(1), QStringLiteral("Accounts"));
            QVERIFY(!view.tabIcon(0).isNull() && !view.tabIcon(1).isNull());
            view.resize(200, 100);  // never smaller than its minimum
            QVERIFY(view.width() >= 540 && view.height() >= 340);

            QSignalSpy loads(view.accountsView()->viewModel(), &AccountsViewModel::accountsChanged);
            QTest::mouseClick(view.tabBar(), Qt::LeftButton, {}, view.tabBar()->tabRect(1).center());
            QCOMPARE(UserDefaults::standard().value(settingsTabSelectionKey).toInt(), 1);
            QTest::mouseClick(view.tabBar(), Qt::LeftButton, {}, view.tabBar()->tabRect(0).center());
            QCOMPARE(UserDefaults::standard().value(settingsTabSelectionKey).toInt(), 0);
            QTest::mouseClick(view.tabBar(), Qt::LeftButton, {}, view.tabBar()->tabRect(1).center());
            QTRY_COMPARE(loads.count(), 2);  // loaded each time the tab was shown
        }
        // The file as another process (the next launch) reads it.
        QSettings file(UserDefaults::standard().fileName(), QSettings::NativeFormat);
        QCOMPARE(file.value(settingsTabSelectionKey).toInt(), 1);

        SettingsView reopened;
        QVERIFY(showAndLoad(&reopened, reopened.accountsView()->viewModel()));
        QCOMPARE(reopened.selectedTab(), Tab::accounts);
        // Another part of the application asks for a tab while the window is open.
        UserDefaults::standard().setValue(settingsTabSelectionKey, 0);
        QCOMPARE(reopened.selectedTab(), Tab::general);
        reopened.hide();
        UserDefaults::standard().setValue(settingsTabSelectionKey, 1);
        QVERIFY(showAndLoad(&reopened, reopened.accountsView()->viewModel()));
        QCOMPARE(reopened.selectedTab(), Tab::accounts);
    }

    void buttonsAndHintFollowTheListAndTheSelection()
    {
        AccountsTab tab;
        QTRY_VERIFY(tab.showsHint(emptyHint));
        QVERIFY(!tab.remove->isEnabled());
        QVERIFY(tab.add->isEnabled());
        QCOMPARE(tab.remove->toolTip(), QStringLiteral("Remove selected App Store Connect account"));
        QCOMPARE(tab.add->toolTip(), QStringLiteral("Add App Store Connect account"));
        QCOMPARE(tab.list->parentWidget()->width(), 140);

        storeAccount(QStringLiteral("Stored"));
        tab.view.hide();
        tab.view.show();  // shown again: loaded again
        QTRY_COMPARE(tab.rows(), QStringList{QStringLiteral("Stored")});
        QVERIFY(tab.showsHint(selectHint));
        QVERIFY(!tab.remove->isEnabled());

        tab.add->click();
        QCOMPARE(tab.rows(), (QStringList{QStringLiteral("Stored"), QStringLiteral("My App Store Account")}));
        QCOMPARE(tab.selectedRow(), 1);
        QVERIFY(tab.view.detailsView());
        QCOMPARE(tab.view.detailsView()->account(), tab.view.viewModel()->selectedAccount());
        QVERIFY(tab.view.detailsView()->account()->isNew());
        QVERIFY(!tab.add->isEnabled());  // one new account at a time
        QVERIFY(tab.remove->isEnabled());

        tab.clickRow(0);
        QCOMPARE(tab.view.viewModel()->selectedAccount()->name(), QStringLiteral("Stored"));
        QCOMPARE(tab.view.detailsView()->account()->name(), QStringLiteral("Stored"));
        QCOMPARE(tab.view.detailsView()->findChild<QPushButton *>(QStringLiteral("signInButton"))->text(),
                 QStringLiteral("Save"));
        QVERIFY(tab.add->isEnabled());
        QVERIFY(tab.remove->isEnabled());
    }

    void renamingInTheFormChangesTheRowWhileTyping()
    {
        AccountsTab tab;
        tab.add->click();
        auto *name = tab.view.detailsView()->findChild<QLineEdit *>(QStringLiteral("nameField"));
        name->selectAll();
        QTest::keyClick(name, Qt::Key_Backspace);
        QTest::keyClicks(name, QStringLiteral("Pers"));
        QCOMPARE(tab.rows(), QStringList{QStringLiteral("Pers")});
        QTest::keyClicks(name, QStringLiteral("onal"));
        QCOMPARE(tab.rows(), QStringList{QStringLiteral("Personal")});

        // A long name takes two lines at most, cut at the end, each within the row.
        const QString longName = QStringLiteral("Company account for the whole team of app makers and their apps");
        const QFont font = AccountRowDelegate::rowFont(tab.list->font());
        const int width = tab.list->viewport()->width() - 8;
        const QStringList lines = AccountRowDelegate::lines(longName, font, width);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.last().endsWith(QChar(0x2026)));
        for (const QString &line : lines)
            QVERIFY(QFontMetrics(font).horizontalAdvance(line) <= width);
        QCOMPARE(AccountRowDelegate::lines(QStringLiteral("Short"), font, width), QStringList{QStringLiteral("Short")});

        // The row grows to its second line as the name gets long.
        const int oneLine = tab.list->visualRect(tab.list->model()->index(0, 0)).height();
        QTest::keyClicks(name, QStringLiteral(" and a long tail of more words"));
        QTRY_VERIFY(tab.list->visualRect(tab.list->model()->index(0, 0)).height() > oneLine);
    }

    void removingAnAccount_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("stored account") << true;
        QTest::newRow("never signed in") << false;
    }
    void removingAnAccount()
    {
        QFETCH(bool, stored);
        const QString keptId = storeAccount(QStringLiteral("Other"), QStringLiteral("issuer-other"));
        const QString removedId = stored ? storeAccount(QStringLiteral("Gone"), QStringLiteral("issuer-gone")) : QString();
        AccountsTab tab;
        QTRY_COMPARE(tab.rows().size(), stored ? 2 : 1);
        if (stored)
            tab.clickRow(tab.rows().indexOf(QStringLiteral("Gone")));
        else
            tab.add->click();
        QVERIFY(tab.remove->isEnabled());
        recorder->clear();

        tab.remove->click();
        if (stored) {
            // The row goes off the GUI thread; meanwhile the form stays and nothing more can be removed.
            QCOMPARE(tab.rows().size(), 2);
            QVERIFY(tab.view.detailsView());
            QVERIFY(!tab.remove->isEnabled());
            QVERIFY(tab.view.grab().save(testsupport::screenshotPath(QStringLiteral("accounts-tab-removing.png"))));
            tab.remove->click();
        }
        QTRY_COMPARE(tab.rows(), QStringList{QStringLiteral("Other")});
        QVERIFY(!tab.view.viewModel()->isDeleting());
        QVERIFY(tab.showsHint(selectHint));
        QVERIFY(!tab.remove->isEnabled());
        QVERIFY(tab.add->isEnabled());
        QCOMPARE(storedNames(), QStringList{QStringLiteral("Other")});
        QCOMPARE(recorder->posts(), QStringList{StoreChange::accountRemoved});
        QTRY_COMPARE(widget->reloads(), 1);
        const Keychain keychain(Account::keychainService);
        QCOMPARE(keychain.text(QStringLiteral("issuer.") + keptId), std::optional<QString>(QStringLiteral("issuer-other")));
        if (stored) {
            // Nothing deletes keychain items.
            QCOMPARE(keychain.text(QStringLiteral("issuer.") + removedId),
                     std::optional<QString>(QStringLiteral("issuer-gone")));
        }

        // The last one: the list is empty and the hint asks for an account.
        tab.clickRow(0);
        QVERIFY(tab.remove->isEnabled());
        tab.remove->click();
        QTRY_VERIFY(tab.rows().isEmpty());
        QVERIFY(tab.showsHint(emptyHint));
        QVERIFY(storedNames().isEmpty());
        QTRY_COMPARE(widget->reloads(), 2);
        QCOMPARE(recorder->posts(), (QStringList{StoreChange::accountRemoved, StoreChange::accountRemoved}));
    }

    void firstSignInDismissesTheFormAndListsTheStoredAccount()
    {
        const fakes::FakeAccount key = server->addAccount();
        server->setApps(key.issuerId, {{QStringLiteral("app-1"), QStringLiteral("App"), QStringLiteral("com.example.app"), {}}});
        const QString keyFile = QDir::home().filePath(QStringLiteral("AuthKey.p8"));
        QFile file(keyFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(key.privateKeyPem);
        file.close();

        SettingsView window;
        window.setSelectedTab(Tab::accounts);
        window.resize(640, 460);
        AccountsSettingsView *accounts = window.accountsView();
        QVERIFY(showAndLoad(&window, accounts->viewModel()));
        accounts->findChild<QToolButton *>(QStringLiteral("addAccountButton"))->click();
        AccountDetailsView *form = accounts->detailsView();
        QVERIFY(form);
        auto *name = form->findChild<QLineEdit *>(QStringLiteral("nameField"));
        name->selectAll();
        QTest::keyClick(name, Qt::Key_Backspace);
        QTest::keyClicks(name, QStringLiteral("Work"));
        QTest::keyClicks(form->findChild<QLineEdit *>(QStringLiteral("issuerIdField")), key.issuerId);
        QTest::keyClicks(form->findChild<QLineEdit *>(QStringLiteral("keyIdField")), key.keyId);
        form->findChild<QPushButton *>(QStringLiteral("selectKeyButton"))->click();
        emit openedDialogs.last()->fileSelected(keyFile);
        openedDialogs.last()->reject();
        QVERIFY(window.grab().save(testsupport::screenshotPath(QStringLiteral("accounts-tab-new-account.png"))));

        form->findChild<QPushButton *>(QStringLiteral("signInButton"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!accounts->detailsView(), 20000);
        QCOMPARE(recorder->posts(), QStringList{StoreChange::accountAdded});
        QCOMPARE(storedNames(), QStringList{QStringLiteral("Work")});
        // Listed again as the store has it.
        const QList<std::shared_ptr<Account>> &listed = accounts->viewModel()->accounts();
        QTRY_VERIFY(listed.size() == 1 && listed.first()->objectId().has_value());
        auto *list = accounts->findChild<QListView *>(QStringLiteral("accountList"));
        QCOMPARE(list->model()->rowCount(), 1);
        QCOMPARE(list->model()->index(0, 0).data().toString(), QStringLiteral("Work"));
        QVERIFY(accounts->findChild<QToolButton *>(QStringLiteral("addAccountButton"))->isEnabled());
        QCOMPARE(accounts->findChild<QLabel *>(QStringLiteral("accountsHint"))->text(), selectHint);

        // The listed account is the stored one: it saves in place.
        const QRect row = list->visualRect(list->model()->index(0, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QVERIFY(accounts->detailsView());
        QVERIFY(accounts->detailsView()->account()->objectId().has_value());
        QVERIFY(window.grab().save(testsupport::screenshotPath(QStringLiteral("accounts-tab.png"))));
    }

    void keysCloseTheWindow_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("Esc") << QKeySequence(Qt::Key_Escape);
        for (const QKeySequence &close : QKeySequence::keyBindings(QKeySequence::Close))
            QTest::newRow(qPrintable(close.toString())) << close;
    }
    void keysCloseTheWindow()
    {
        QFETCH(QKeySequence, keys);
        auto *window = new SettingsView;
        window->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<SettingsView> watched = window;
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : window;
        QTest::keySequence(focus, keys);
        QTRY_VERIFY(!watched || !watched->isVisible());
        delete watched.data();
    }

    void screenshotsOfBothTabs()
    {
        storeAccount(QStringLiteral("Personal"));
        storeAccount(QStringLiteral("A company account with a name much too long for one line"));
        SettingsView window;
        window.resize(640, 420);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.grab().save(testsupport::screenshotPath(QStringLiteral("general-tab.png"))));
        window.setSelectedTab(Tab::accounts);
        auto *list = window.accountsView()->findChild<QListView *>(QStringLiteral("accountList"));
        QTRY_COMPARE(list->model()->rowCount(), 2);
        QVERIFY(window.grab().save(testsupport::screenshotPath(QStringLiteral("accounts-tab-list.png"))));
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, SettingsWindowTest)
#include "tst_settings_window.moc"
