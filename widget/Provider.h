#pragma once

#include "Fennick/Records/StoreReview.h"
#include "platform/store/Context.h"
#include "platform/widgetkit/Timeline.h"

#include <QThreadPool>
#include <functional>
#include <memory>

namespace Glimmerwick {

struct SimpleEntry {
    QDateTime date;
    QList<std::shared_ptr<Fennick::StoreReview>> reviews;  // newest first, at most four
};

// Answers the widget host: the placeholder at once; snapshots and timelines from a worker thread,
// after a download when neither program has downloaded for four hours.
class Provider : public platform::widgetkit::TimelineProvider<SimpleEntry> {
public:
    // Runs a download into the context and returns the number of new reviews.
    using Import = std::function<int(const std::shared_ptr<platform::store::Context> &)>;
    // Seconds since the reference date.
    using Clock = std::function<double()>;

    static constexpr double refreshInterval = 14400.0;

    Provider();
    Provider(Import import, Clock clock);

    SimpleEntry placeholder(const platform::widgetkit::TimelineContext &context) override;
    void getSnapshot(const platform::widgetkit::TimelineContext &context,
                     std::function<void(SimpleEntry)> completion) override;
    void getTimeline(const platform::widgetkit::TimelineContext &context,
                     std::function<void(platform::widgetkit::Timeline<SimpleEntry>)> completion) override;

    // Returns at once; the completion is called exactly once, from a worker thread.
    void makeTimeline(std::function<void(platform::widgetkit::Timeline<SimpleEntry>)> completion);

    static std::shared_ptr<Fennick::StoreReview> sampleReview(int number);
    // The four newest reviews of every account; call on the context's thread.
    static QList<std::shared_ptr<Fennick::StoreReview>> fetchLatestReviews(platform::store::Context &context);

    // The full download, as the application runs it.
    static int importAll(const std::shared_ptr<platform::store::Context> &context);

private:
    static platform::widgetkit::Timeline<SimpleEntry> timelineFor(QList<std::shared_ptr<Fennick::StoreReview>> reviews);

    Import m_import;
    Clock m_clock;
};

}  // namespace Glimmerwick
