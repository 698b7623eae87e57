#pragma once

#include <QString>

// The application's own settings (standard user defaults) that more than one place reads.
namespace Vantorel::SettingsKey {
inline const QString loadReviewsAtLaunch = QStringLiteral("loadReviewsAtLaunch");
inline const QString showNotifications = QStringLiteral("showNotifications");
inline const QString enableTranslationSupport = QStringLiteral("enableTranslationSupport");
inline const QString showsStatusItem = QStringLiteral("showsStatusItem");
inline const QString openAtLogin = QStringLiteral("openAtLogin");
}  // namespace Vantorel::SettingsKey
