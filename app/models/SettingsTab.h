#pragma once

#include <QString>
#include <optional>

namespace Vantorel {

// The tabs of the settings window, kept as their integer under "settingsTabSelection" so that
// other parts of the application can open the window on a given tab by writing that key.
enum class Tab : int { general = 0, accounts = 1 };

inline const QString settingsTabSelectionKey = QStringLiteral("settingsTabSelection");

// The tab of a stored integer; nothing for any other value.
inline std::optional<Tab> tabFromRawValue(qint64 raw)
{
    switch (raw) {
    case 0:
        return Tab::general;
    case 1:
        return Tab::accounts;
    default:
        return std::nullopt;
    }
}

// The tab stored under "settingsTabSelection"; General when none, or when the value names no tab.
Tab storedSettingsTab();
void storeSettingsTab(Tab tab);

}  // namespace Vantorel
