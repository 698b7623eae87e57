#pragma once

#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>
#include <any>
#include <functional>

class QWidget;

namespace platform::widgetkit {

enum class WidgetFamily { systemSmall, systemMedium, systemLarge };

// The size a family's widget is shown at on this desktop.
QSize displaySize(WidgetFamily family);
QString familyName(WidgetFamily family);

// When the host asks the provider for the next timeline.
struct ReloadPolicy {
    QDateTime date;
    static ReloadPolicy after(const QDateTime &date) { return ReloadPolicy{date}; }
};

template <typename Entry>
struct Timeline {
    QList<Entry> entries;
    ReloadPolicy policy;
};

struct TimelineContext {
    WidgetFamily family = WidgetFamily::systemSmall;
    QSize displaySize;
    bool isPreview = false;
};

// What a widget program implements. Each completion must be called exactly once, from any thread.
template <typename Entry>
class TimelineProvider {
public:
    virtual ~TimelineProvider() = default;
    virtual Entry placeholder(const TimelineContext &context) = 0;
    virtual void getSnapshot(const TimelineContext &context, std::function<void(Entry)> completion) = 0;
    virtual void getTimeline(const TimelineContext &context,
                             std::function<void(Timeline<Entry>)> completion) = 0;
};

// A timeline with its entries' type erased, as the host keeps it. Entries carry their date.
struct AnyEntry {
    QDateTime date;
    std::any value;
};
struct AnyTimeline {
    QList<AnyEntry> entries;
    ReloadPolicy policy;
};

// A widget as the host sees it: its names, families, provider and the view of one entry.
struct WidgetConfiguration {
    QString kind;
    QString displayName;
    QString description;
    QList<WidgetFamily> supportedFamilies;
    std::function<AnyEntry(const TimelineContext &)> placeholder;
    std::function<void(const TimelineContext &, std::function<void(AnyTimeline)>)> timeline;
    std::function<QWidget *(const AnyEntry &, WidgetFamily)> makeView;
};

// Builds a configuration from a typed provider and a typed view function. `Entry` has a `date`.
template <typename Entry>
WidgetConfiguration makeConfiguration(QString kind, QString displayName, QString description,
                                      QList<WidgetFamily> families,
                                      std::shared_ptr<TimelineProvider<Entry>> provider,
                                      std::function<QWidget *(const Entry &, WidgetFamily)> view)
{
    auto erase = [](const Entry &entry) { return AnyEntry{entry.date, std::any(entry)}; };
    WidgetConfiguration configuration;
    configuration.kind = std::move(kind);
    configuration.displayName = std::move(displayName);
    configuration.description = std::move(description);
    configuration.supportedFamilies = std::move(families);
    configuration.placeholder = [provider, erase](const TimelineContext &context) {
        return erase(provider->placeholder(context));
    };
    configuration.timeline = [provider, erase](const TimelineContext &context,
                                               std::function<void(AnyTimeline)> completion) {
        provider->getTimeline(context, [completion, erase](Timeline<Entry> timeline) {
            AnyTimeline erased{{}, timeline.policy};
            for (const Entry &entry : timeline.entries)
                erased.entries << erase(entry);
            completion(std::move(erased));
        });
    };
    configuration.makeView = [view](const AnyEntry &entry, WidgetFamily family) {
        return view(std::any_cast<const Entry &>(entry.value), family);
    };
    return configuration;
}

}  // namespace platform::widgetkit
