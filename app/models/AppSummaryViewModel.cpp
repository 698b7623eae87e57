#include "app/models/AppSummaryViewModel.h"

#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "app/models/ModelSupport.h"
#include "platform/FutureContinuation.h"
#include "platform/UserDefaults.h"


namespace Vantorel {

using Fennick::ManagedAppVersion;
using Fennick::ManagedReview;
using Fennick::StoreAppVersion;
using platform::store::Context;
using platform::store::ObjectId;

namespace {

const QString sortOrderKey = QStringLiteral("sortOrderSetting");
const QString ratingKeys[] = {QStringLiteral("includeOneStar"), QStringLiteral("includeTwoStar"),
                              QStringLiteral("includeThreeStar"), QStringLiteral("includeFourStar"),
                              QStringLiteral("includeFiveStar")};
const QString withResponseKey = QStringLiteral("includeReviewsWithResponse");
const QString withoutResponseKey = QStringLiteral("includeReviewsWithoutResponse");

platform::UserDefaults &defaults()
{
    return platform::UserDefaults::standard();
}

// The include flags are on unless the user switched them off.
bool storedFlag(const QString &key)
{
    const QVariant value = defaults().value(key);
    return value.isValid() ? value.toBool() : true;
}

// Everything a review load needs, taken on the GUI thread when the load starts.
struct ReviewQuery {
    ObjectId app;
    QString search;
    std::optional<ObjectId> version;
    QList<qint64> ratings;
    bool withResponse = true;
    bool withoutResponse = true;
    AppSummarySortOrder order = AppSummarySortOrder::dateDescending;
};

ReviewList fetchReviews(Context &context, const ReviewQuery &query)
{
    using Keys = ManagedReview::Keys;
    auto request = ManagedReview::fetchRequest();
    request.where(Keys::app == query.app);
    if (!query.search.isEmpty()) {
        // A search looks at every review of the app, whatever the filters say.
        request.where(platform::store::containsText({Keys::title, Keys::body}, query.search));
    } else {
        if (query.version)
            request.where(Keys::version == *query.version);
        request.where(Keys::rating.in(query.ratings));  // no stars at all lists nothing
        if (query.withResponse && !query.withoutResponse)
            request.where(Keys::responseIdentifier.isNotNull());
        else if (!query.withResponse && query.withoutResponse)
            request.where(Keys::responseIdentifier.isNull());
    }
    request.sortedBy({sortKey(query.order), isAscending(query.order)});
    return Fennick::StoreReview::ofApp(context, request, query.app);
}

// Plain descending string order of the version text: "9.0" comes before "10.0".
QList<StoreAppVersion> fetchVersions(Context &context, const ObjectId &app)
{
    auto request = ManagedAppVersion::fetchRequest();
    request.where(ManagedAppVersion::Keys::app == app).sortedBy(ManagedAppVersion::Keys::version.descending());
    QList<StoreAppVersion> versions;
    for (const auto &[id, text] : context.fetchValues(request, ManagedAppVersion::Keys::version))
        versions.append({id, text.value_or(QStringLiteral("Unknown"))});
    return versions;
}

}  // namespace

struct AppSummaryViewModel::Private {
    Fennick::StoreApp app;
    ReviewList reviews;
    QList<StoreAppVersion> versions;
    QString search;
    std::optional<StoreAppVersion> selectedVersion;
    ModelSupport::SummaryTriggers triggers;
    ModelSupport::LatestLoad reviewLoads;
    ModelSupport::ListChoices choices;
    bool newChoices = false;
};

AppSummaryViewModel::AppSummaryViewModel(Fennick::StoreApp app, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->app = std::move(app);
    d->triggers.start(
        this, [this] { loadVersions(); }, [this] { loadReviews(); }, [this] { emit objectWillChange(); });
}

AppSummaryViewModel::~AppSummaryViewModel() = default;

const Fennick::StoreApp &AppSummaryViewModel::app() const
{
    return d->app;
}

const ReviewList &AppSummaryViewModel::reviews() const
{
    return d->reviews;
}

bool AppSummaryViewModel::reviewsFollowNewChoices() const
{
    return d->newChoices;
}

const QList<StoreAppVersion> &AppSummaryViewModel::versions() const
{
    return d->versions;
}

const QString &AppSummaryViewModel::search() const
{
    return d->search;
}

void AppSummaryViewModel::setSearch(const QString &text)
{
    if (text != d->search) {
        emit objectWillChange();
        d->search = text;
        d->choices.changed();
        emit searchChanged();
    }
    d->triggers.searchDebounce.start();  // every edit restarts the wait, so a burst of typing loads once
}

AppSummarySortOrder AppSummaryViewModel::sortOrder() const
{
    bool isNumber = false;
    const qint64 raw = defaults().value(sortOrderKey).toLongLong(&isNumber);
    const auto order = isNumber ? sortOrderFromRawValue(raw) : std::nullopt;
    return order.value_or(AppSummarySortOrder::dateDescending);
}

void AppSummaryViewModel::setSortOrder(AppSummarySortOrder order)
{
    emit objectWillChange();
    defaults().setValue(sortOrderKey, static_cast<qint64>(order));
    d->choices.changed();
    emit sortOrderChanged();
    loadReviews();
}

const std::optional<StoreAppVersion> &AppSummaryViewModel::selectedVersion() const
{
    return d->selectedVersion;
}

void AppSummaryViewModel::setSelectedVersion(const std::optional<StoreAppVersion> &version)
{
    emit objectWillChange();
    d->selectedVersion = version;
    d->choices.changed();
    emit selectedVersionChanged();
    loadReviews();
}

bool AppSummaryViewModel::includesRating(int stars) const
{
    if (stars < 1 || stars > 5)
        return false;
    return storedFlag(ratingKeys[stars - 1]);
}

void AppSummaryViewModel::setIncludesRating(int stars, bool include)
{
    if (stars < 1 || stars > 5)
        return;
    storeFilter(ratingKeys[stars - 1], include);
}

void AppSummaryViewModel::storeFilter(const QString &key, bool include)
{
    emit objectWillChange();
    defaults().setValue(key, include);
    d->choices.changed();
    emit filtersChanged();
    loadReviews();
}

bool AppSummaryViewModel::includeReviewsWithResponse() const
{
    return storedFlag(withResponseKey);
}

void AppSummaryViewModel::setIncludeReviewsWithResponse(bool include)
{
    storeFilter(withResponseKey, include);
}

bool AppSummaryViewModel::includeReviewsWithoutResponse() const
{
    return storedFlag(withoutResponseKey);
}

void AppSummaryViewModel::setIncludeReviewsWithoutResponse(bool include)
{
    storeFilter(withoutResponseKey, include);
}

QList<int> AppSummaryViewModel::includedRatings() const
{
    QList<int> ratings;
    for (int stars = 1; stars <= 5; ++stars) {
        if (includesRating(stars))
            ratings.append(stars);
    }
    return ratings;
}

QFuture<void> AppSummaryViewModel::loadVersions()
{
    QFuture<QList<StoreAppVersion>> fetched = ModelSupport::inBackgroundContext(
        [app = d->app.id](Context &context) { return fetchVersions(context, app); });
    return platform::whenFinished(fetched, this,
                                      [this](QFuture<QList<StoreAppVersion>> result) {
                                          publishVersions(result);
                                          return loadReviews();
                                      })
        .unwrap();
}

void AppSummaryViewModel::publishVersions(QFuture<QList<StoreAppVersion>> &result)
{
    QList<StoreAppVersion> versions;
    bool loaded = false;
    try {
        versions = result.result();
        loaded = true;
    } catch (const std::exception &error) {
        ModelSupport::reportFailure(error, QStringLiteral("LoadVersions"), QStringLiteral("Could not load versions: %1"));
    }
    emit objectWillChange();
    d->versions = std::move(versions);
    emit versionsChanged();
    // A version that a sync removed lists nothing and is no longer in the picker: show all
    // versions instead. The review load that follows reads the cleared selection.
    if (loaded && d->selectedVersion && !d->versions.contains(*d->selectedVersion)) {
        emit objectWillChange();
        d->selectedVersion.reset();
        emit selectedVersionChanged();
    }
}

QFuture<void> AppSummaryViewModel::loadReviews()
{
    ReviewQuery query;
    query.app = d->app.id;
    query.search = d->search;
    if (d->selectedVersion)
        query.version = d->selectedVersion->id;
    for (int stars : includedRatings())
        query.ratings.append(stars);
    query.withResponse = includeReviewsWithResponse();
    query.withoutResponse = includeReviewsWithoutResponse();
    query.order = sortOrder();

    return d->reviewLoads.run(
        this, [query = std::move(query)](Context &context) { return fetchReviews(context, query); },
        QStringLiteral("LoadReviews"), QStringLiteral("Could not load reviews: %1"),
        [this, choices = d->choices.current()](ReviewList reviews) {
            emit objectWillChange();
            d->reviews = std::move(reviews);
            d->newChoices = d->choices.shown(choices);
            emit reviewsChanged();
        });
}

}  // namespace Vantorel

#include "moc_AppSummaryViewModel.cpp"
