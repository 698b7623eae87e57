#include "app/models/SettingsTab.h"

#include "platform/UserDefaults.h"

namespace Vantorel {

Tab storedSettingsTab()
{
    const QVariant value = platform::UserDefaults::standard().value(settingsTabSelectionKey);
    bool isNumber = false;
    const qint64 raw = value.toLongLong(&isNumber);
    if (!isNumber)
        return Tab::general;
    return tabFromRawValue(raw).value_or(Tab::general);
}

void storeSettingsTab(Tab tab)
{
    platform::UserDefaults::standard().setValue(settingsTabSelectionKey, static_cast<int>(tab));
}

}  // namespace Vantorel
