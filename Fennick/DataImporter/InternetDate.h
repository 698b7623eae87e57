#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace Fennick {

// Reads an ISO 8601 internet date and time without fractional seconds, with "Z" or a numeric
// offset ("2024-01-02T11:19:36-07:00"), as a UTC point in time. Anything else, fractional
// seconds included, reads as nothing.
std::optional<QDateTime> parseInternetDateTime(const QString &text);

}  // namespace Fennick
