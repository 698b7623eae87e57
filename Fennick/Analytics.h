#pragma once

#include <QMap>
#include <QString>
#include <exception>

namespace Fennick {

// The only doors to the crash-reporting and analytics service.
void StartAnalytics();
void TrackEvent(const QString &name);
void TrackEvent(const QString &name, const QMap<QString, QString> &keys);
// Sends "Error" + name with the error's text as "message", except for the network codes that
// say only that the machine is offline or the host unreachable (-1009, -1004, -1001).
void TrackError(const std::exception &error, const QString &name);

// True for the codes that TrackError never reports.
bool isUnreportedNetworkCode(qint64 code);

}  // namespace Fennick
