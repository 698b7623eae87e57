#include "app/shell/AppDelegate.h"
#include "app/models/SettingsKeys.h"

#include "Fennick/Analytics.h"
#include "Fennick/Log.h"
#include "Fennick/ReviewStateTracker.h"
#include "platform/FutureContinuation.h"
#include "platform/LoginItem.h"
#include "platform/UserDefaults.h"
#include "platform/notifications/UserNotificationCenter.h"

#include <QCoreApplication>

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
    updateLoginItem();
}

void AppDelegate::updateLoginItem()
{
    // A program that moved (a new build folder, another install prefix) would leave an entry that
    // starts nothing at the next login.
    if (!platform::UserDefaults::standard().boolValue(SettingsKey::openAtLogin))
        return;
    try {
        if (platform::LoginItem::mainApp().updateIfRegistered())
            qCInfo(Fennick::Log::app(), "Open at login now starts %s", qUtf8Printable(QCoreApplication::applicationFilePath()));
    } catch (const std::exception &error) {
        Fennick::TrackError(error, QStringLiteral("RegisterOnLoad"));
        qCCritical(Fennick::Log::app(), "Could not register open at login: %s",
                   qUtf8Printable(platform::Error::from(error).localizedDescription()));
    }
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
