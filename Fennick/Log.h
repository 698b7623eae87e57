#pragma once

#include <QLoggingCategory>

namespace Fennick::Log {

// One category per area, all under "Vantorel". Failures go out with qCCritical (error level),
// progress with qCInfo (default level); debug output is off unless enabled by QT_LOGGING_RULES.
const QLoggingCategory &model();
const QLoggingCategory &icon();
const QLoggingCategory &widget();
const QLoggingCategory &importer();
const QLoggingCategory &app();

}  // namespace Fennick::Log
