#include "platform/widgetkit/Timeline.h"

#include <QCoreApplication>

namespace platform::widgetkit {

QSize displaySize(WidgetFamily family)
{
    switch (family) {
    case WidgetFamily::systemSmall:
        return {170, 170};
    case WidgetFamily::systemMedium:
        return {364, 170};
    case WidgetFamily::systemLarge:
        return {364, 382};
    }
    return {170, 170};
}

QString familyName(WidgetFamily family)
{
    switch (family) {
    case WidgetFamily::systemSmall:
        return QCoreApplication::translate("WidgetHost", "Small");
    case WidgetFamily::systemMedium:
        return QCoreApplication::translate("WidgetHost", "Medium");
    case WidgetFamily::systemLarge:
        return QCoreApplication::translate("WidgetHost", "Large");
    }
    return {};
}

}  // namespace platform::widgetkit
