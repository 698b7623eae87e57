#include "Fennick/Analytics.h"

#include "platform/Analytics.h"
#include "platform/Error.h"

namespace Fennick {
namespace {
const QString appSecret = QStringLiteral("d83f0b6e-7a21-4c95-b0e4-62f9a1c37d58");
}

void StartAnalytics()
{
    platform::Analytics::start(appSecret, {platform::Analytics::analyticsService,
                                           platform::Analytics::crashesService});
}

void TrackEvent(const QString &name)
{
    platform::Analytics::trackEvent(name);
}

void TrackEvent(const QString &name, const QMap<QString, QString> &keys)
{
    platform::Analytics::trackEvent(name, keys);
}

bool isUnreportedNetworkCode(qint64 code)
{
    using namespace platform::UrlError;
    return code == NotConnectedToInternet || code == CannotConnectToHost || code == TimedOut;
}

void TrackError(const std::exception &error, const QString &name)
{
    const platform::Error asError = platform::Error::from(error);
    if (isUnreportedNetworkCode(asError.code()))
        return;
    platform::Analytics::trackEvent(QStringLiteral("Error") + name,
                                    {{QStringLiteral("message"), asError.localizedDescription()}});
}

}  // namespace Fennick
