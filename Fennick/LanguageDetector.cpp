#include "Fennick/LanguageDetector.h"

#include <cstdio>  // CLD2's header uses it without including it

#include <cld2/public/compact_lang_det.h>

#include <QStringView>

namespace Fennick::LanguageDetector {
namespace {

// A review is a few thousand characters; a prefix this long decides its language just as well.
constexpr qsizetype maxCharacters = 64 * 1024;

// CLD2 still uses some withdrawn or non-BCP-47 codes; the store keeps the current ones, with
// the script for Chinese.
QString storedCode(CLD2::Language language)
{
    const QString code = QString::fromLatin1(CLD2::LanguageCode(language));
    if (code.isEmpty() || code == QLatin1String("un") || code == QLatin1String("xxx"))
        return QString();
    // "xx-Latn" and the like name only a script; "zz?" are CLD2's test pseudo-languages.
    if (code.startsWith(QLatin1String("xx-")) || code.startsWith(QLatin1String("zz")))
        return QString();
    if (code == QLatin1String("zh"))
        return QStringLiteral("zh-Hans");
    if (code == QLatin1String("iw"))
        return QStringLiteral("he");
    if (code == QLatin1String("jw"))
        return QStringLiteral("jv");
    if (code == QLatin1String("no"))
        return QStringLiteral("nb");
    return code;
}

}  // namespace

std::optional<QString> dominantLanguage(const QString &text)
{
    // toUtf8() turns lone surrogates into U+FFFD, so CLD2 always gets valid UTF-8.
    const QByteArray utf8 = QStringView(text).left(maxCharacters).toUtf8();
    if (utf8.isEmpty())
        return std::nullopt;

    CLD2::Language top3[3];
    int percent3[3];
    double scores3[3];
    int textBytes = 0;
    bool isReliable = false;
    int validPrefixBytes = 0;
    const CLD2::Language language = CLD2::ExtDetectLanguageSummaryCheckUTF8(
        utf8.constData(), int(utf8.size()), true, nullptr, 0, top3, percent3, scores3, nullptr,
        &textBytes, &isReliable, &validPrefixBytes);

    const QString code = storedCode(language);
    if (code.isEmpty())
        return std::nullopt;
    return code;
}

}  // namespace Fennick::LanguageDetector
