#include "Fennick/DataImporter/InternetDate.h"

namespace Fennick {
namespace {

// Digits at [from, from + count), or -1 when any of them is not an ASCII digit.
int digits(const QString &text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

bool isAt(const QString &text, qsizetype index, char16_t c)
{
    return text[index].unicode() == c;
}

}  // namespace

std::optional<QDateTime> parseInternetDateTime(const QString &text)
{
    // YYYY-MM-DDTHH:MM:SS then Z (20 characters) or ±HH:MM (25 characters).
    if (text.size() != 20 && text.size() != 25)
        return std::nullopt;
    if (!isAt(text, 4, u'-') || !isAt(text, 7, u'-') || !isAt(text, 10, u'T') || !isAt(text, 13, u':')
        || !isAt(text, 16, u':'))
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 1 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;

    int offsetSeconds = 0;
    if (text.size() == 20) {
        if (!isAt(text, 19, u'Z'))
            return std::nullopt;
    } else {
        const bool east = isAt(text, 19, u'+');
        if ((!east && !isAt(text, 19, u'-')) || !isAt(text, 22, u':'))
            return std::nullopt;
        const int offsetHours = digits(text, 20, 2);
        const int offsetMinutes = digits(text, 23, 2);
        if (offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offsetHours * 60 + offsetMinutes) * 60 * (east ? 1 : -1);
    }
    // The wall-clock time minus its offset is the UTC time.
    return QDateTime(date, time, Qt::UTC).addSecs(-offsetSeconds);
}

}  // namespace Fennick
