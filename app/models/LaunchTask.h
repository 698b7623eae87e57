#pragma once

#include <QFuture>
#include <QString>
#include <functional>

namespace Vantorel {

class MainViewModel;

namespace LaunchTask {

// A download at launch is due once the last full one is more than this many seconds old.
constexpr double downloadInterval = 86400.0;

// `lastFullDownloadDate` is 0 when no download was ever recorded, which makes one due.
inline bool isDownloadDue(double now, double lastFullDownloadDate)
{
    return now - lastFullDownloadDate > downloadInterval;
}

// Seconds since 1 January 2001, now.
using Clock = std::function<double()>;

// What the main window runs each time it is shown: reloads the sidebar, makes the Accounts tab
// the settings window's default, and starts a sync when "loadReviewsAtLaunch" is on and a
// download is due. The future ends once that is decided (true when a sync was started); the
// sync itself runs on.
QFuture<bool> run(MainViewModel &model, Clock now = {});

}  // namespace LaunchTask
}  // namespace Vantorel
