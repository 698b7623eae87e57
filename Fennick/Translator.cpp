#include "Fennick/Translator.h"

#include "Fennick/Endpoints.h"
#include "Fennick/RequestError.h"
#include "platform/http/HttpSession.h"
#include "platform/json/JsonDecoding.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QUrl>

#include <algorithm>
#include <chrono>

namespace Fennick {

using platform::json::ObjectReader;

namespace {

QByteArray requestBody(const QStringList &texts)
{
    QJsonArray entries;
    for (const QString &text : texts)
        entries.append(QJsonObject{{QStringLiteral("Text"), text}});
    return QJsonDocument(entries).toJson(QJsonDocument::Compact);
}

// The reply is an array of containers, each with the translations of one text.
QStringList translationsOf(const QByteArray &body)
{
    QStringList result;
    const auto containers = ObjectReader::parseArray(body, [](const ObjectReader &container) {
        return container.requiredArray(QStringLiteral("translations"),
                                       [](const ObjectReader &entry) { return entry.requiredString(QStringLiteral("text")); });
    });
    for (const QStringList &texts : containers)
        result.append(texts);
    return result;
}

// A language code as the locale gives it ("de", "zh-Hans"). Anything else would not name one
// language: "de&to=fr" asks for two, "de#x" cuts the address short.
bool isLanguageCode(const QString &code)
{
    if (code.isEmpty())
        return false;
    return std::all_of(code.cbegin(), code.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
               c == u'_';
    });
}

}  // namespace

QStringList Translator::translate(const QStringList &texts, const QString &to)
{
    const QUrl url = QUrl(Endpoints::baseUrl(Endpoints::Service::translator) +
                          QStringLiteral("/translate?api-version=3.0&to=") + to);
    if (!url.isValid() || !isLanguageCode(to))
        throw platform::UrlError::make(
            platform::UrlError::BadUrl,
            QCoreApplication::translate("Translator", "No translation address can be formed for the language \"%1\".")
                .arg(to));

    platform::http::Request request;
    request.url = url;
    request.method = platform::http::Request::Method::Post;
    request.headers = {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")},
                       {QByteArrayLiteral("Ocp-Apim-Subscription-Key"), subscriptionKey},
                       {QByteArrayLiteral("Ocp-Apim-Subscription-Region"), subscriptionRegion}};
    request.body = requestBody(texts);
    request.timeout = std::chrono::seconds(60);

    const platform::http::Response response = platform::http::Session::shared().send(request);
    if (response.status <= 0)
        throw RequestError::badResponse();
    if (response.status != 200)
        throw RequestError::noSuccess(response.status);
    return translationsOf(response.body);
}

QString Translator::userLanguage()
{
    const QLocale::Language language = QLocale().language();
    if (language == QLocale::C)
        return QStringLiteral("en");
    if (language == QLocale::AnyLanguage)
        return {};
    return QLocale::languageToCode(language);
}

}  // namespace Fennick
