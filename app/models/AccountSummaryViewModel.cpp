#include "app/models/AccountSummaryViewModel.h"

#include "Fennick/Persistence/ManagedReview.h"
#include "app/models/ModelSupport.h"


namespace Vantorel {

using Fennick::ManagedReview;
using platform::store::Context;
using platform::store::ObjectId;

namespace {

constexpr int newestReviewCount = 100;

ReviewList fetchNewest(Context &context, const ObjectId &account, const QString &search)
{
    using Keys = ManagedReview::Keys;
    auto request = ManagedReview::fetchRequest();
    request.where(Keys::account == account);
    if (!search.isEmpty())
        request.where(platform::store::containsText({Keys::title, Keys::body}, search));
    request.sortedBy(Keys::created.descending()).limit(newestReviewCount);
    request.prefetch(Keys::app).prefetch(Keys::version);
    return ModelSupport::reviewRecords(context.fetch(request));
}

}  // namespace

struct AccountSummaryViewModel::Private {
    std::shared_ptr<Fennick::Account> account;
    ReviewList reviews;
    QString search;
    ModelSupport::SummaryTriggers triggers;
    ModelSupport::LatestLoad reviewLoads;
    ModelSupport::ListChoices choices;
    bool newChoices = false;
};

AccountSummaryViewModel::AccountSummaryViewModel(std::shared_ptr<Fennick::Account> account, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    Q_ASSERT(account);
    d->account = std::move(account);
    d->triggers.start(
        this, [this] { reload(); }, [this] { reload(); }, [this] { emit objectWillChange(); });
}

AccountSummaryViewModel::~AccountSummaryViewModel() = default;

const Fennick::Account &AccountSummaryViewModel::account() const
{
    return *d->account;
}

const ReviewList &AccountSummaryViewModel::reviews() const
{
    return d->reviews;
}

bool AccountSummaryViewModel::reviewsFollowNewChoices() const
{
    return d->newChoices;
}

const QString &AccountSummaryViewModel::search() const
{
    return d->search;
}

void AccountSummaryViewModel::setSearch(const QString &text)
{
    if (text != d->search) {
        emit objectWillChange();
        d->search = text;
        d->choices.changed();
        emit searchChanged();
    }
    d->triggers.searchDebounce.start();
}

QFuture<void> AccountSummaryViewModel::reload()
{
    // An account that was never saved has no reviews; its missing id must not match the reviews
    // that have no account.
    const ObjectId account = d->account->objectId().value_or(ObjectId::temporary(QStringLiteral("Account")));
    return d->reviewLoads.run(
        this, [account, search = d->search](Context &context) { return fetchNewest(context, account, search); },
        QStringLiteral("LoadReviews"), QStringLiteral("Could not load reviews: %1"),
        [this, choices = d->choices.current()](ReviewList reviews) {
            emit objectWillChange();
            d->reviews = std::move(reviews);
            d->newChoices = d->choices.shown(choices);
            emit reviewsChanged();
        });
}

}  // namespace Vantorel

#include "moc_AccountSummaryViewModel.cpp"
