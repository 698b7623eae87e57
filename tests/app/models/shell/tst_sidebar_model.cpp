#include "Fennick/Icons/IconManager.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "app/models/AppVisibility.h"
#include "app/models/MainViewModel.h"
#include "app/models/SidebarModel.h"
#include "platform/Analytics.h"
#include "support/Images.h"
#include "support/TestHome.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace Vantorel;
using Fennick::ManagedAccount;
using Fennick::ManagedApp;
using platform::store::Context;
using platform::store::ObjectId;

class SidebarModelTest : public QObject {
    Q_OBJECT

    static Context &view() { return Fennick::PersistenceController::shared().container().viewContext(); }

    static ManagedApp *addApp(ManagedAccount *account, const QString &name, const QString &identifier)
    {
        auto *app = view().insert<ManagedApp>();
        app->setName(name);
        app->setIdentifier(identifier);
        app->setAccount(account);
        auto *version = view().insert<Fennick::ManagedAppVersion>();
        version->setApp(app);
        view().insert<Fennick::ManagedReview>()->setVersion(version);
        return app;
    }

    static void reload(MainViewModel &model)
    {
        QFuture<void> done = model.reloadSidebar();
        QTRY_VERIFY(done.isFinished());
    }

    static QStringList rows(const SidebarModel &model)
    {
        QStringList out;
        for (int i = 0; i < model.rowCount(); ++i) {
            const QModelIndex heading = model.index(i, 0);
            out << QStringLiteral("# ") + heading.data().toString();
            for (int j = 0; j < model.rowCount(heading); ++j)
                out << model.index(j, 0, heading).data().toString();
        }
        return out;
    }

    ObjectId cherry;

private slots:
    void initTestCase()
    {
        auto *first = view().insert<ManagedAccount>();
        first->setName(QStringLiteral("Orchard"));
        addApp(first, QStringLiteral("Damson"), QStringLiteral("200"));
        ManagedApp *cherryRow = addApp(first, QStringLiteral("cherry"), QStringLiteral("100"));
        view().insert<ManagedAccount>()->setName(QStringLiteral("Empty"));
        view().save();
        cherry = cherryRow->objectId();  // ids are final once saved
    }

    void accountsAreHeadingsWithAllAppsAndTheirApps()
    {
        MainViewModel viewModel;
        SidebarModel model(viewModel);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        reload(viewModel);
        QCOMPARE(rows(model), (QStringList{"# Orchard", "All Apps", "cherry", "Damson", "# Empty", "All Apps"}));

        const QModelIndex heading = model.index(0, 0);
        QVERIFY(!(model.flags(heading) & Qt::ItemIsSelectable));
        QVERIFY(!model.entry(heading));
        const QModelIndex allApps = model.index(0, 0, heading);
        QVERIFY(model.flags(allApps) & Qt::ItemIsSelectable);
        QVERIFY(model.entry(allApps)->isAccount());
        QCOMPARE(model.entry(allApps)->accountValue()->name(), QStringLiteral("Orchard"));
        const QModelIndex app = model.index(1, 0, heading);
        QCOMPARE(model.entry(app)->appValue().id, cherry);
        QCOMPARE(model.indexOf(*model.entry(app)), app);
        QCOMPARE(model.indexOf(*model.entry(allApps)), allApps);
        QCOMPARE(model.indexOf(*model.entry(model.index(0, 0, model.index(1, 0)))), model.index(0, 0, model.index(1, 0)));

        // Without an icon the decoration is still the white rounded square.
        const QImage decoration = model.data(app, Qt::DecorationRole).value<QImage>();
        QCOMPARE(decoration.size() / decoration.devicePixelRatio(),
                 QSize(SidebarModel::decorationSize, SidebarModel::decorationSize));
        const qreal scale = decoration.devicePixelRatio();
        QCOMPARE(decoration.pixelColor(QPoint(14, 13) * scale), QColor(Qt::white));
        QCOMPARE(decoration.pixelColor(QPoint(0, 0)).alpha(), 0);  // outside the rounded corner
    }

    void anArrivingIconChangesOnlyThatRowsDecoration()
    {
        MainViewModel viewModel;
        SidebarModel model(viewModel);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        reload(viewModel);

        QImage red(64, 32, QImage::Format_RGB32);
        red.fill(Qt::red);
        Fennick::IconManager().store(testsupport::pngBytes(red), QStringLiteral("100"));
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        reload(viewModel);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(changes.count(), 1);
        const QModelIndex app = model.index(1, 0, model.index(0, 0));
        QCOMPARE(changes.first().at(0).toModelIndex(), app);
        QCOMPARE(changes.first().at(2).value<QList<int>>(), QList<int>{Qt::DecorationRole});
        // A wide icon keeps its proportions inside the white frame: red in the middle, white
        // above and below it.
        const QImage decoration = model.data(app, Qt::DecorationRole).value<QImage>();
        const qreal scale = decoration.devicePixelRatio();
        QCOMPARE(decoration.pixelColor(QPoint(14, 13) * scale), QColor(Qt::red));
        QCOMPARE(decoration.pixelColor(QPoint(14, 4) * scale), QColor(Qt::white));
        QFile::remove(*Fennick::IconManager::iconPath(QStringLiteral("100")));
    }

    void hidingWritesTheFlagAndReloads()
    {
        MainViewModel viewModel;
        SidebarModel model(viewModel);
        reload(viewModel);
        const Fennick::StoreApp damsonApp = *model.app(model.index(2, 0, model.index(0, 0)));
        QCOMPARE(damsonApp.name, QStringLiteral("Damson"));

        QVERIFY(setAppHidden(viewModel, damsonApp, true));
        QTRY_COMPARE(rows(model), (QStringList{"# Orchard", "All Apps", "cherry", "# Empty", "All Apps"}));

        viewModel.setIncludeHiddenApps(true);
        QTRY_COMPARE(model.rowCount(model.index(0, 0)), 3);
        const QModelIndex hidden = model.index(2, 0, model.index(0, 0));
        QVERIFY(model.data(hidden, SidebarModel::IsHiddenRole).toBool());
        QVERIFY(setAppHidden(viewModel, *model.app(hidden), false));
        QTRY_VERIFY(!model.data(model.index(2, 0, model.index(0, 0)), SidebarModel::IsHiddenRole).toBool());
        viewModel.setIncludeHiddenApps(false);
    }

    // Keep last: it leaves unsaved changes in the view context.
    void aFailedSaveIsReportedLoggedAndNotReloaded()
    {
        MainViewModel viewModel;
        SidebarModel model(viewModel);
        reload(viewModel);
        const Fennick::StoreApp cherryApp = *model.app(model.index(1, 0, model.index(0, 0)));

        // Another context deletes an app; before that reaches the view context, a review that
        // points at it makes the view context's next save fail.
        auto *doomed = addApp(view().existingObject<ManagedAccount>(
                                  view().existingObject<ManagedApp>(cherry)->account()->objectId()),
                              QStringLiteral("Doomed"), QStringLiteral("300"));
        view().save();
        const ObjectId doomedId = doomed->objectId();
        view().insert<Fennick::ManagedReview>()->setApp(doomed);
        auto background = Fennick::PersistenceController::shared().container().newBackgroundContext();
        background->performAndWait([&](Context &c) {
            c.deleteObject(c.existingObject(doomedId));
            c.save();
        });

        QStringList events;
        const int token =
            platform::Analytics::addObserver([&](const platform::Analytics::Event &event) { events << event.name; });
        QSignalSpy published(&viewModel, &MainViewModel::accountsWithAppsChanged);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not hide app: .+")));
        QVERIFY(!setAppHidden(viewModel, cherryApp, true));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not unhide app: .+")));
        QVERIFY(!setAppHidden(viewModel, cherryApp, false));
        platform::Analytics::removeObserver(token);
        QCOMPARE(events, (QStringList{"ErrorHideApp", "ErrorUnhideApp"}));
        QTest::qWait(200);
        QCOMPARE(published.count(), 0);  // no reload
        QVERIFY(view().hasChanges());     // the flag stays unsaved, not rolled back
    }
};

VANTOREL_TEST_MAIN_WITH(QGuiApplication, SidebarModelTest)
#include "tst_sidebar_model.moc"
