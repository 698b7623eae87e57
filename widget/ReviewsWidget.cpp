#include "widget/ReviewsWidget.h"

#include "widget/Provider.h"
#include "widget/Views.h"

#include <QCoreApplication>

namespace Glimmerwick {

using platform::widgetkit::WidgetFamily;

platform::widgetkit::WidgetConfiguration reviewsWidget(std::shared_ptr<Provider> provider)
{
    if (!provider)
        provider = std::make_shared<Provider>();
    return platform::widgetkit::makeConfiguration<SimpleEntry>(
        widgetKind, QCoreApplication::translate("ReviewsWidget", "Latest Reviews"),
        QCoreApplication::translate("ReviewsWidget", "Show the latest App Store reviews for your apps."),
        {WidgetFamily::systemSmall, WidgetFamily::systemMedium, WidgetFamily::systemLarge}, provider,
        [](const SimpleEntry &entry, WidgetFamily family) -> QWidget * {
            return new ReviewsWidgetEntryView(entry, family);
        });
}

}  // namespace Glimmerwick
