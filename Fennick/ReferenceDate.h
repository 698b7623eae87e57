#pragma once

#include <QDateTime>

namespace Fennick {

// Times shared between the programs are seconds since 1 January 2001 00:00 UTC.
inline const QDateTime referenceDate = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

inline double secondsSinceReferenceDate(const QDateTime &time = QDateTime::currentDateTimeUtc())
{
    return static_cast<double>(referenceDate.msecsTo(time)) / 1000.0;
}

}  // namespace Fennick
