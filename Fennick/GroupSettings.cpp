#include "Fennick/GroupSettings.h"

#include "Fennick/Analytics.h"
#include "platform/UserDefaults.h"

namespace Fennick {
namespace {

const QString fullKey = QStringLiteral("lastFullDownloadDate");
const QString liteKey = QStringLiteral("lastLiteDownloadDate");

// Opened once per process; without the group folder each process keeps its own times.
platform::UserDefaults &defaults()
{
    static platform::UserDefaults &opened = [] () -> platform::UserDefaults & {
        if (platform::UserDefaults *suite = platform::UserDefaults::suite(GroupSettings::suiteName))
            return *suite;
        TrackEvent(QStringLiteral("UnableToAccessAppGroupD"));
        return platform::UserDefaults::standard();
    }();
    return opened;
}

}  // namespace

double GroupSettings::lastFullDownloadDate()
{
    return defaults().doubleValue(fullKey);
}

void GroupSettings::setLastFullDownloadDate(double seconds)
{
    defaults().setValue(fullKey, seconds);
}

double GroupSettings::lastLiteDownloadDate()
{
    return defaults().doubleValue(liteKey);
}

void GroupSettings::setLastLiteDownloadDate(double seconds)
{
    defaults().setValue(liteKey, seconds);
}

double GroupSettings::mostRecentDownloadDate()
{
    const double lite = lastLiteDownloadDate();
    const double full = lastFullDownloadDate();
    return lite <= full ? full : lite;
}

}  // namespace Fennick
