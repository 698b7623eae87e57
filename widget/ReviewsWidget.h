#pragma once

#include "platform/widgetkit/Timeline.h"

namespace Glimmerwick {

// The widget as the host shows it: kind, names, families, provider and views.
platform::widgetkit::WidgetConfiguration reviewsWidget(std::shared_ptr<class Provider> provider = nullptr);

inline const QString widgetKind = QStringLiteral("ReviewsWidget");

}  // namespace Glimmerwick
