#include "widget/Desktop.h"

#include "platform/widgethost/WidgetHost.h"
#include "widget/ReviewsWidget.h"

#include <QApplication>
#include <cstdio>

namespace Glimmerwick {

int runOnDesktop()
{
    platform::widgetkit::WidgetHost host(reviewsWidget());
    if (!host.listen())
        std::fprintf(stderr, "Another widget is already running; this one will not be told to reload.\n");
    host.show();
    return QApplication::exec();
}

}  // namespace Glimmerwick
