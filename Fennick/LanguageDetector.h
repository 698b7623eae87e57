#pragma once

#include <QString>
#include <optional>

namespace Fennick::LanguageDetector {

// The dominant language of `text` as the code the store keeps ("en", "de", "zh-Hans",
// "zh-Hant", ...); nothing when no language can be told (empty, too short, digits only).
// Thread-safe.
std::optional<QString> dominantLanguage(const QString &text);

}  // namespace Fennick::LanguageDetector
