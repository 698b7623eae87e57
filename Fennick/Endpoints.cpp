#include "Fennick/Endpoints.h"

#include <QMutex>
#include <QMutexLocker>

#include <array>

namespace Fennick::Endpoints {

namespace {

constexpr size_t serviceCount = 4;

size_t indexOf(Service service)
{
    return static_cast<size_t>(service);
}

QMutex overrideMutex;
std::array<QString, serviceCount> overrides;

QString withoutTrailingSlash(QString url)
{
    while (url.endsWith(u'/'))
        url.chop(1);
    return url;
}

}  // namespace

QString defaultBaseUrl(Service service)
{
    switch (service) {
    case Service::connect: return QStringLiteral("https://api.appstoreconnect.apple.com");
    case Service::lookup: return QStringLiteral("https://itunes.apple.com");
    case Service::translator: return QStringLiteral("https://api.cognitive.microsofttranslator.com");
    case Service::email: return QStringLiteral("https://api.postmarkapp.com");
    }
    return {};
}

const char *environmentVariable(Service service)
{
    switch (service) {
    case Service::connect: return "VANTOREL_CONNECT_URL";
    case Service::lookup: return "VANTOREL_LOOKUP_URL";
    case Service::translator: return "VANTOREL_TRANSLATOR_URL";
    case Service::email: return "VANTOREL_EMAIL_URL";
    }
    return "";
}

QString baseUrl(Service service)
{
    {
        const QMutexLocker lock(&overrideMutex);
        if (!overrides.at(indexOf(service)).isEmpty())
            return overrides.at(indexOf(service));
    }
    const QString fromEnvironment = qEnvironmentVariable(environmentVariable(service)).trimmed();
    if (!fromEnvironment.isEmpty())
        return withoutTrailingSlash(fromEnvironment);
    return defaultBaseUrl(service);
}

void setBaseUrl(Service service, const QString &url)
{
    const QMutexLocker lock(&overrideMutex);
    overrides.at(indexOf(service)) = withoutTrailingSlash(url.trimmed());
}

}  // namespace Fennick::Endpoints
