#include "app/models/MainViewModel.h"
#include "app/models/SettingsKeys.h"

#include "Fennick/Analytics.h"
#include "Fennick/DataImporter/DataImporter.h"
#include "Fennick/GroupSettings.h"
#include "Fennick/Icons/IconDownloader.h"
#include "Fennick/Icons/IconManager.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/ReferenceDate.h"
#include "app/models/ModelSupport.h"
#include "platform/FutureContinuation.h"
#include "platform/UserDefaults.h"
#include "platform/notifications/UserNotificationCenter.h"
#include "platform/store/Container.h"
#include "platform/widgetkit/WidgetCenter.h"

#include <QCollator>
#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QUuid>
#include <algorithm>

namespace Vantorel {

using Fennick::AccountWithApps;
using Fennick::StoreApp;
using platform::store::Context;
using platform::store::ObjectId;

namespace {

const QString includeHiddenAppsKey = QStringLiteral("includeHiddenApps");
const QString includeAppsWithNoReviewsKey = QStringLiteral("includeAppsWithNoReviews");

struct SidebarRules {
    bool includeHiddenApps = false;
    bool includeAppsWithNoReviews = false;
};

// An app's reviews as the sum over its versions, from two grouped counts: no review row is read.
QHash<ObjectId, qint64> reviewsPerApp(Context &context)
{
    const QHash<ObjectId, qint64> perVersion =
        context.countBy(Fennick::ManagedReview::fetchRequest(), Fennick::ManagedReview::Keys::version);
    QHash<ObjectId, qint64> perApp;
    for (const Fennick::ManagedAppVersion *version : context.fetch(Fennick::ManagedAppVersion::fetchRequest())) {
        if (const Fennick::ManagedApp *app = version->app())
            perApp[app->objectId()] += perVersion.value(version->objectId());
    }
    return perApp;
}

// Moves key material that an older version kept in the row into the keychain, then blanks the
// row. When the keychain write fails the row stays as it is and the next load tries again.
void migrateKeyToKeychain(Context &context, Fennick::ManagedAccount &row, Fennick::Account &account)
{
    const std::optional<QString> keyId = row.keyId();
    if (!keyId || keyId->isEmpty())
        return;
    if (!account.saveToKeychain(row.objectId().uriString()))
        return;
    row.setKeyId(QString());
    row.setIssuerId(QString());
    row.setKeyBlob(QByteArray());  // present, of length 0
    try {
        context.save();
    } catch (const std::exception &error) {
        qCritical("Could not save context after Keychain migration: %s",
                  qUtf8Printable(platform::Error::from(error).localizedDescription()));
    }
}

void sortByName(QList<StoreApp> &apps)
{
    QCollator collator;  // the user's locale
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(),
                     [&](const StoreApp &a, const StoreApp &b) { return collator.compare(a.name, b.name) < 0; });
}

// Runs on the load's own background context; only value records leave it.
QList<AccountWithApps> loadSections(Context &context, SidebarRules rules)
{
    const QList<Fennick::ManagedAccount *> rows =
        context.fetch(Fennick::ManagedAccount::fetchRequest().prefetch(Fennick::ManagedAccount::Keys::apps));
    const QHash<ObjectId, qint64> reviewCounts =
        rules.includeAppsWithNoReviews ? QHash<ObjectId, qint64>() : reviewsPerApp(context);
    const Fennick::IconManager icons;
    QThread *guiThread = QCoreApplication::instance() ? QCoreApplication::instance()->thread() : nullptr;

    QList<AccountWithApps> sections;
    int section = 0;
    for (Fennick::ManagedAccount *row : rows) {
        const QList<Fennick::ManagedApp *> appRows = row->apps();
        auto account = std::make_shared<Fennick::Account>(*row);
        migrateKeyToKeychain(context, *row, *account);

        QList<StoreApp> apps;
        for (const Fennick::ManagedApp *app : appRows) {
            const std::optional<QString> identifier = app->identifier();
            if (!identifier)
                continue;
            if (app->isHidden() && !rules.includeHiddenApps)
                continue;
            if (!rules.includeAppsWithNoReviews && reviewCounts.value(app->objectId()) == 0)
                continue;
            apps.append(StoreApp{app->objectId(), *identifier, app->name().value_or(QStringLiteral("Untitled")),
                                 icons.icon(*identifier), app->isHidden()});
        }
        sortByName(apps);

        if (guiThread)
            account->moveToThread(guiThread);
        sections.append(AccountWithApps{++section, std::move(account), std::move(apps)});
    }
    return sections;
}

}  // namespace

struct MainViewModel::Private {
    MainViewModel *q;
    std::optional<SelectedEntry> selectedEntry;
    QList<AccountWithApps> accountsWithApps;
    bool performedInitialLoad = false;
    bool isSyncing = false;
    ModelSupport::LatestLoad sidebarLoads;
    std::unique_ptr<StoreChangeSubscription> subscription;

    explicit Private(MainViewModel *model) : q(model) {}

    void setAccountsWithApps(QList<AccountWithApps> sections)
    {
        emit q->objectWillChange();
        accountsWithApps = std::move(sections);
        emit q->accountsWithAppsChanged();
    }

    void finishLoad()
    {
        if (performedInitialLoad)
            return;
        emit q->objectWillChange();
        performedInitialLoad = true;
        emit q->performedInitialLoadChanged();
    }

    void publishSections(QList<AccountWithApps> sections)
    {
        setAccountsWithApps(std::move(sections));
        for (const AccountWithApps &section : std::as_const(accountsWithApps))
            Fennick::TrackEvent(QStringLiteral("AppCount"), {{QStringLiteral("count"), QString::number(section.apps.size())}});
        finishLoad();
    }

    void setSyncing(bool value)
    {
        emit q->objectWillChange();
        isSyncing = value;
        emit q->isSyncingChanged();
    }

    void handleStoreChange(const QString &name)
    {
        qCInfo(Fennick::Log::app(), "Reloading sidebar content");
        platform::whenFinished(q->reloadSidebar(), q, [this, name](const QFuture<void> &) {
            if (name == StoreChange::accountAdded)
                q->sync();
        });
    }

    // Finishes when the notification is shown or has failed; a failure is of no further concern.
    static QFuture<void> notifyNewReviews(int newReviews)
    {
        if (newReviews < 1 || !platform::UserDefaults::standard().boolValue(SettingsKey::showNotifications))
            return QtFuture::makeReadyFuture();
        const QString title = newReviews == 1 ? MainViewModel::tr("New Review") : MainViewModel::tr("New Reviews");
        const QString body = newReviews == 1 ? MainViewModel::tr("Vantorel downloaded one new review.")
                                             : MainViewModel::tr("Vantorel downloaded %1 new reviews.").arg(newReviews);
        return platform::UserNotificationCenter::current().add(QUuid::createUuid().toString(QUuid::WithoutBraces), title,
                                                               body);
    }

    // Runs on after sync() has returned; a new sync may start meanwhile.
    void refreshIcons(std::shared_ptr<Context> context)
    {
        auto downloader = std::make_shared<Fennick::IconDownloader>(context);
        QFuture<bool> downloaded = downloader->downloadIconsAsync();
        platform::whenFinished(downloaded, q, [this, downloader, context = std::move(context)](const QFuture<bool> &done) mutable {
            const bool changed = done.resultCount() > 0 && done.result();
            if (changed)
                StoreChange::post(StoreChange::dataRefreshed);
            emit q->iconRefreshFinished(changed);
            // The sync's context goes down with every row the import touched, which takes tens of
            // milliseconds: not on this thread.
            QThreadPool::globalInstance()->start([downloader = std::move(downloader), context = std::move(context)]() mutable {
                downloader.reset();
                context.reset();
            });
        });
    }
};

MainViewModel::MainViewModel(QObject *parent) : QObject(parent), d(std::make_unique<Private>(this))
{
    d->subscription = observeStoreChanges([model = QPointer<MainViewModel>(this)](const QString &name) {
        if (model)
            model->d->handleStoreChange(name);
    });
    // The switches follow a change made elsewhere (another window, the settings file) without a
    // reload; only writing them through the model reloads.
    connect(&platform::UserDefaults::standard(), &platform::UserDefaults::valueChanged, this, [this](const QString &key) {
        if (key == includeHiddenAppsKey)
            emit includeHiddenAppsChanged();
        else if (key == includeAppsWithNoReviewsKey)
            emit includeAppsWithNoReviewsChanged();
    });
}

MainViewModel::~MainViewModel() = default;

const std::optional<SelectedEntry> &MainViewModel::selectedEntry() const
{
    return d->selectedEntry;
}

void MainViewModel::setSelectedEntry(const std::optional<SelectedEntry> &entry)
{
    if (d->selectedEntry == entry)
        return;
    emit objectWillChange();
    d->selectedEntry = entry;
    emit selectedEntryChanged();
}

const QList<AccountWithApps> &MainViewModel::accountsWithApps() const
{
    return d->accountsWithApps;
}

bool MainViewModel::performedInitialLoad() const
{
    return d->performedInitialLoad;
}

bool MainViewModel::isSyncing() const
{
    return d->isSyncing;
}

bool MainViewModel::includeHiddenApps() const
{
    return platform::UserDefaults::standard().boolValue(includeHiddenAppsKey);
}

void MainViewModel::setIncludeHiddenApps(bool value)
{
    emit objectWillChange();
    platform::UserDefaults::standard().setValue(includeHiddenAppsKey, value);
    reloadSidebar();
}

bool MainViewModel::includeAppsWithNoReviews() const
{
    return platform::UserDefaults::standard().boolValue(includeAppsWithNoReviewsKey);
}

void MainViewModel::setIncludeAppsWithNoReviews(bool value)
{
    emit objectWillChange();
    platform::UserDefaults::standard().setValue(includeAppsWithNoReviewsKey, value);
    reloadSidebar();
}

QFuture<void> MainViewModel::reloadSidebar()
{
    const SidebarRules rules{includeHiddenApps(), includeAppsWithNoReviews()};
    // A failed load shows no sections, and still counts as the first load.
    return d->sidebarLoads.run(
        this, [rules](Context &context) { return loadSections(context, rules); }, QStringLiteral("LoadAccounts"),
        QStringLiteral("Could not load accounts: %1"),
        [this](QList<AccountWithApps> sections) { d->publishSections(std::move(sections)); });
}

QFuture<void> MainViewModel::sync()
{
    // Test and set with nothing in between: the GUI thread is the only one that touches them.
    if (d->isSyncing) {
        qCInfo(Fennick::Log::app(), "Already syncing; skipping another sync");
        return QtFuture::makeReadyFuture();
    }
    std::shared_ptr<Context> context;
    try {
        context = Fennick::PersistenceController::shared().container().newBackgroundContext();
    } catch (const std::exception &error) {
        // Without a store there is nothing to import into, and no download to record.
        qCCritical(Fennick::Log::app(), "Could not sync: %s",
                   qUtf8Printable(platform::Error::from(error).localizedDescription()));
        return QtFuture::makeReadyFuture();
    }
    d->setSyncing(true);

    Fennick::DataImporter importer(context, false);
    QFuture<int> imported = importer.importData();
    return platform::whenFinished(imported, this, [this, context](const QFuture<int> &done) {
               const int newReviews = done.resultCount() > 0 ? done.result() : 0;  // the import never fails
               d->setSyncing(false);
               StoreChange::post(StoreChange::dataRefreshed);
               Fennick::GroupSettings::setLastFullDownloadDate(Fennick::secondsSinceReferenceDate());
               return platform::whenFinished(Private::notifyNewReviews(newReviews), this,
                                             [this, context](const QFuture<void> &) {
                                                 platform::widgetkit::WidgetCenter::reloadAllTimelines();
                                                 d->refreshIcons(context);
                                             });
           })
        .unwrap();
}

}  // namespace Vantorel

// Keeps the meta-object code in this object file, so that linking this model does not pull in
// the generated code of every other model of the library.
#include "moc_MainViewModel.cpp"
