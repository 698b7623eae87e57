#include "app/views/SettingsView.h"

#include "app/views/AccountsSettingsView.h"
#include "app/views/GeneralSettingsView.h"
#include "app/views/SettingsSymbols.h"
#include "app/views/WindowShortcuts.h"
#include "platform/UserDefaults.h"

namespace Vantorel {

SettingsView::SettingsView(QWidget *parent)
    : QTabWidget(parent), m_general(new GeneralSettingsView), m_accounts(new AccountsSettingsView)
{
    setObjectName(QStringLiteral("settingsView"));
    setMinimumSize(minimumViewWidth, minimumViewHeight);
    setDocumentMode(true);
    addCloseShortcuts(*this);
    const QColor iconColor = palette().color(QPalette::WindowText);
    addTab(m_general, settingsSymbolIcon(SettingsSymbol::gear, iconColor), tr("General"));
    addTab(m_accounts, settingsSymbolIcon(SettingsSymbol::person, iconColor), tr("Accounts"));
    setSelectedTab(storedSettingsTab());

    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        if (const auto tab = tabFromRawValue(index))
            storeSettingsTab(*tab);
    });
    connect(&platform::UserDefaults::standard(), &platform::UserDefaults::valueChanged, this,
            [this](const QString &key) {
                if (key == settingsTabSelectionKey)
                    setSelectedTab(storedSettingsTab());
            });
}

Tab SettingsView::selectedTab() const
{
    return tabFromRawValue(currentIndex()).value_or(Tab::general);
}

void SettingsView::setSelectedTab(Tab tab)
{
    setCurrentIndex(static_cast<int>(tab));
}

void SettingsView::showEvent(QShowEvent *event)
{
    // Reopened: the stored tab may have been written by another process.
    setSelectedTab(storedSettingsTab());
    QTabWidget::showEvent(event);
}

}  // namespace Vantorel
