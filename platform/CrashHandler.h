#pragma once

#include <QString>

namespace platform::CrashHandler {

// On a fatal signal, writes "signal, time, backtrace" to a new file in `folder`, then lets the
// signal take its default course. Installing twice replaces the folder.
void install(const QString &folder);

}  // namespace platform::CrashHandler
