#include "Fennick/Icons/IconDownloader.h"

#include "Fennick/Endpoints.h"
#include "Fennick/Icons/IconManager.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/RequestError.h"
#include "Fennick/WorkerPools.h"
#include "platform/http/HttpSession.h"
#include "platform/json/JsonDecoding.h"
#include "platform/store/Context.h"

#include <QMutex>
#include <QThreadPool>
#include <QtConcurrent>

namespace Fennick {

using platform::json::DecodingError;
using platform::json::ObjectReader;

namespace {

QString describe(const std::exception &error)
{
    return platform::Error::from(error).localizedDescription();
}

std::optional<QUrl> optionalUrl(const ObjectReader &reader, const QString &key)
{
    const std::optional<QString> text = reader.optionalString(key);
    if (!text)
        return std::nullopt;
    const QUrl url(*text, QUrl::StrictMode);
    if (text->isEmpty() || !url.isValid())
        throw DecodingError(DecodingError::Kind::dataCorrupted,
                            reader.path().isEmpty() ? key : reader.path() + u'.' + key,
                            QStringLiteral("Invalid URL string"));
    return url;
}

IconDownloader::MetadataResult decodeResult(const ObjectReader &reader)
{
    return {optionalUrl(reader, QStringLiteral("artworkUrl100")), optionalUrl(reader, QStringLiteral("artworkUrl512"))};
}

// One app's icon; failures are logged, never thrown, since one app's failure must not stop others.
void downloadIcon(const QString &identifier)
{
    try {
        std::optional<IconDownloader::MetadataResult> result;
        try {
            result = IconDownloader::fetchMetadata(identifier, QStringLiteral("us"));
        } catch (const std::exception &) {
            // Some apps are not sold in the US store; the Norwegian one is asked next.
        }
        if (!result)
            result = IconDownloader::fetchMetadata(identifier, QStringLiteral("no"));
        if (result->artworkUrl100) {
            const platform::http::Response artwork = platform::http::Session::shared().get(*result->artworkUrl100);
            IconManager().store(artwork.body, identifier);
        }
        qCInfo(Log::icon(), "Finished downloading icon for app");
    } catch (const std::exception &error) {
        qCCritical(Log::icon(), "Failed downloading icon for app: %s", qUtf8Printable(describe(error)));
    } catch (...) {
        qCCritical(Log::icon(), "Failed downloading icon for app: %s", "unknown error");
    }
}

}  // namespace

struct IconDownloader::State {
    std::shared_ptr<platform::store::Context> context;
    QMutex running;  // one downloadIcons() at a time

    bool run();
};

IconDownloader::IconDownloader(std::shared_ptr<platform::store::Context> context)
    : m_state(std::make_shared<State>())
{
    m_state->context = std::move(context);
}

IconDownloader::~IconDownloader() = default;

bool IconDownloader::downloadIcons()
{
    return m_state->run();
}

QFuture<bool> IconDownloader::downloadIconsAsync()
{
    // The state outlives the downloader while the call runs.
    return QtConcurrent::run(&WorkerPools::iconRunners(), [state = m_state] { return state->run(); });
}

IconDownloader::MetadataResult IconDownloader::fetchMetadata(const QString &identifier, const QString &country)
{
    const QByteArray address = Endpoints::baseUrl(Endpoints::Service::lookup).toUtf8() + "/lookup?id="
                               + QUrl::toPercentEncoding(identifier) + "&country=" + QUrl::toPercentEncoding(country);
    const QUrl url = QUrl::fromEncoded(address, QUrl::StrictMode);
    if (!url.isValid())
        throw platform::UrlError::make(platform::UrlError::BadUrl, QStringLiteral("The address is not valid."));

    const platform::http::Response response = platform::http::Session::shared().get(url);
    if (response.status <= 0)
        throw RequestError::badResponse();
    if (response.status != 200)
        throw RequestError::noSuccess(response.status);
    const QList<MetadataResult> results =
        ObjectReader::parse(response.body).requiredArray(QStringLiteral("results"), &decodeResult);
    if (results.isEmpty())
        throw RequestError::badResponse();
    return results.first();
}

bool IconDownloader::State::run()
{
    const QMutexLocker lock(&running);
    try {
        QStringList identifiers;
        try {
            identifiers = context->performAndWait([](platform::store::Context &context) {
                QStringList found;
                auto request = ManagedAccount::fetchRequest();
                request.prefetch(ManagedAccount::Keys::apps);
                for (const ManagedAccount *account : context.fetch(request)) {
                    for (const ManagedApp *app : account->apps()) {
                        if (const std::optional<QString> identifier = app->identifier())
                            found.append(*identifier);
                    }
                }
                return found;
            });
        } catch (const std::exception &error) {
            qCCritical(Log::icon(), "Could not download icons: %s", qUtf8Printable(describe(error)));
            return false;
        }

        const IconManager icons;
        QStringList missing;
        for (const QString &identifier : std::as_const(identifiers)) {
            // Identifiers come from the network: one that is no plain file name never becomes a
            // path or part of an address.
            if (!IconManager::isSafeIdentifier(identifier)) {
                qCCritical(Log::icon(), "Skipped the icon of an app with an unusable identifier: %s",
                           QUrl::toPercentEncoding(identifier).constData());
                continue;
            }
            if (icons.icon(identifier).isNull())
                missing.append(identifier);
        }
        if (missing.isEmpty())
            return false;

        QList<QFuture<void>> downloads;
        downloads.reserve(missing.size());
        for (const QString &identifier : std::as_const(missing))
            downloads.append(QtConcurrent::run(&WorkerPools::iconDownloads(), &downloadIcon, identifier));
        for (QFuture<void> &download : downloads)
            download.waitForFinished();
        return true;
    } catch (const std::exception &error) {
        qCCritical(Log::icon(), "Could not download icons: %s", qUtf8Printable(describe(error)));
        return false;
    } catch (...) {
        qCCritical(Log::icon(), "Could not download icons: %s", "unknown error");
        return false;
    }
}

}  // namespace Fennick
