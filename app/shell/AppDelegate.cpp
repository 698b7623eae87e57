#include "app/shell/AppDelegate.h"

#include "Fennick/Analytics.h"
#include "Fennick/ReviewStateTracker.h"
#include "platform/UserDefaults.h"

namespace Vantorel {

QVariantMap AppDelegate::launchDefaults()
{
    return {{QStringLiteral("loadReviewsAtLaunch"), true},
            {QStringLiteral("showNotifications"), true},
            {QStringLiteral("enableTranslationSupport"), true}};
}

AppDelegate::AppDelegate(QObject *parent) : QObject(parent) {}

void AppDelegate::applicationWillFinishLaunching()
{
    platform::UserDefaults::standard().registerDefaults(launchDefaults());
}

void AppDelegate::applicationDidFinishLaunching()
{
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
