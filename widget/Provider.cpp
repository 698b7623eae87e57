#include "widget/Provider.h"

#include "Fennick/GroupSettings.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/ReferenceDate.h"
#include "Fennick/WorkerPools.h"

#include <QtConcurrent>

namespace Glimmerwick {

using Fennick::ManagedReview;
using Fennick::StoreReview;
using platform::widgetkit::ReloadPolicy;
using platform::widgetkit::Timeline;
using platform::widgetkit::TimelineContext;

Provider::Provider()
    : Provider(&Provider::importAll, [] { return Fennick::secondsSinceReferenceDate(); })
{
}

Provider::Provider(Import import, Clock clock) : m_import(std::move(import)), m_clock(std::move(clock)) {}

std::shared_ptr<StoreReview> Provider::sampleReview(int number)
{
    StoreReview::Fields fields;
    fields.id = platform::store::ObjectId::temporary(ManagedReview::entityName);
    fields.app = QStringLiteral("My Great App %1").arg(number);
    fields.version = QStringLiteral("1.0");
    fields.title = QStringLiteral("Awesome app!");
    fields.created = QDateTime::currentDateTimeUtc();
    fields.nickname = QStringLiteral("Steve");
    fields.territory = QStringLiteral("USA");
    fields.rating = 5;
    fields.isNew = true;
    return std::make_shared<StoreReview>(std::move(fields));
}

SimpleEntry Provider::placeholder(const TimelineContext &)
{
    QList<std::shared_ptr<StoreReview>> samples;
    for (int number = 1; number <= 4; ++number)
        samples << sampleReview(number);
    return SimpleEntry{QDateTime::currentDateTimeUtc(), samples};
}

void Provider::getSnapshot(const TimelineContext &, std::function<void(SimpleEntry)> completion)
{
    makeTimeline([completion = std::move(completion)](Timeline<SimpleEntry> timeline) {
        completion(timeline.entries.first());
    });
}

void Provider::getTimeline(const TimelineContext &, std::function<void(Timeline<SimpleEntry>)> completion)
{
    makeTimeline(std::move(completion));
}

QList<std::shared_ptr<StoreReview>> Provider::fetchLatestReviews(platform::store::Context &context)
{
    const auto rows = context.fetch(ManagedReview::fetchRequest()
                                        .sortedBy(ManagedReview::Keys::created.descending())
                                        .prefetch(ManagedReview::Keys::app)
                                        .limit(4));
    QList<std::shared_ptr<StoreReview>> reviews;
    for (const ManagedReview *row : rows)
        reviews << std::make_shared<StoreReview>(*row);
    return reviews;
}

Timeline<SimpleEntry> Provider::timelineFor(QList<std::shared_ptr<StoreReview>> reviews)
{
    SimpleEntry entry{QDateTime::currentDateTimeUtc(), std::move(reviews)};
    const auto reload = QDateTime::currentDateTimeUtc().addMSecs(qint64(refreshInterval * 1000));
    return Timeline<SimpleEntry>{{entry}, ReloadPolicy::after(reload)};
}

void Provider::makeTimeline(std::function<void(Timeline<SimpleEntry>)> completion)
{
    std::shared_ptr<platform::store::Context> context;
    try {
        context = Fennick::PersistenceController::shared().container().newBackgroundContext();
    } catch (const std::exception &) {
        // No store: still answer, once, with an entry without reviews.
    }
    (void)QtConcurrent::run(&Fennick::WorkerPools::widgetRequests(), [import = m_import, clock = m_clock, context,
                                              completion = std::move(completion)] {
        if (!context) {
            completion(timelineFor({}));
            return;
        }
        if (clock() - Fennick::GroupSettings::mostRecentDownloadDate() > refreshInterval) {
            const int newReviews = import(context);
            qCInfo(Fennick::Log::widget(), "Extension fetched new reviews: %ld", long(newReviews));
            Fennick::GroupSettings::setLastLiteDownloadDate(clock());
        } else {
            qCInfo(Fennick::Log::widget(), "Skipping widget data refresh");
        }
        QList<std::shared_ptr<StoreReview>> reviews;
        try {
            reviews = context->performAndWait([](platform::store::Context &c) { return fetchLatestReviews(c); });
        } catch (const std::exception &) {
            // Answered like an empty store; the widget reports nothing.
        }
        completion(timelineFor(std::move(reviews)));
    });
}

}  // namespace Glimmerwick
