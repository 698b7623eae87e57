#pragma once

#include <QString>
#include <QStringList>

namespace Fennick {

// Translates texts through the outside translation service, one request for all of them.
class Translator {
public:
    Translator() = delete;

    static inline const QByteArray subscriptionKey = QByteArrayLiteral("a4e19c07b35d4f8e96c2071b5d8e3fa6");
    static inline const QByteArray subscriptionRegion = QByteArrayLiteral("eastus");

    // Synchronous, for worker threads. Returns every translation of the reply, flattened in
    // order (element i translates texts[i] when the service answers one per text). Throws
    // RequestError for a reply without status or with a status other than 200, transport and
    // decoding errors unchanged, and UrlError::BadUrl for a `to` that is not a language code.
    static QStringList translate(const QStringList &texts, const QString &to);

    // The language of the user's locale ("de"): what reviews are translated into and what a
    // review's language is compared with. The C and POSIX locales, which many fresh systems and
    // containers run under (LANG=C.UTF-8), read as English; a locale without a language gives "".
    static QString userLanguage();
};

}  // namespace Fennick
