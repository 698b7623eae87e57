#include "app/shell/AppDelegate.h"
#include "app/models/SettingsKeys.h"

#include "Fennick/Analytics.h"
#include "Fennick/Log.h"
#include "Fennick/ReviewStateTracker.h"
#include "platform/FutureContinuation.h"
#include "platform/UserDefaults.h"
#include "platform/notifications/UserNotificationCenter.h"

namespace Vantorel {

QVariantMap AppDelegate::launchDefaults()
{
    return {{SettingsKey::loadReviewsAtLaunch, true},
            {SettingsKey::showNotifications, true},
            {SettingsKey::enableTranslationSupport, true}};
}

AppDelegate::AppDelegate(QObject *parent) : QObject(parent) {}

void AppDelegate::applicationWillFinishLaunching()
{
    platform::UserDefaults::standard().registerDefaults(launchDefaults());
}

void AppDelegate::applicationDidFinishLaunching()
{
    auto &center = platform::UserNotificationCenter::current();
    connect(&center, &platform::UserNotificationCenter::activated, this, &AppDelegate::userNotificationClicked,
            Qt::UniqueConnection);
    // Only the answer is logged; later notifications are tried either way.
    platform::whenFinished(center.requestAuthorization(), this, [](const QFuture<bool> &answer) {
        const bool allowed = answer.isValid() && answer.resultCount() > 0 && answer.result();
        qCInfo(Fennick::Log::app(), allowed ? "Notifications allowed" : "Notifications disallowed");
    });
    Fennick::StartAnalytics();
}

void AppDelegate::applicationWillTerminate()
{
    Fennick::ReviewStateTracker::shared().processMarks();
}

void AppDelegate::userNotificationClicked()
{
    if (onReceiveNotification)
        onReceiveNotification();
}

}  // namespace Vantorel
