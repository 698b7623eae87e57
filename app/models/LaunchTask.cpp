#include "app/models/LaunchTask.h"
#include "app/models/SettingsKeys.h"

#include "Fennick/GroupSettings.h"
#include "Fennick/ReferenceDate.h"
#include "app/models/MainViewModel.h"
#include "app/models/SettingsTab.h"
#include "platform/FutureContinuation.h"
#include "platform/UserDefaults.h"


namespace Vantorel::LaunchTask {

QFuture<bool> run(MainViewModel &model, Clock now)
{
    if (!now)
        now = [] { return Fennick::secondsSinceReferenceDate(); };
    return platform::whenFinished(model.reloadSidebar(), &model, [&model, now](const QFuture<void> &) {
        auto &defaults = platform::UserDefaults::standard();
        defaults.registerDefaults({{settingsTabSelectionKey, static_cast<int>(Tab::accounts)}});
        if (!defaults.boolValue(SettingsKey::loadReviewsAtLaunch) ||
            !isDownloadDue(now(), Fennick::GroupSettings::lastFullDownloadDate()))
            return false;
        model.sync();  // not awaited: the window goes on while it downloads
        return true;
    });
}

}  // namespace Vantorel::LaunchTask
