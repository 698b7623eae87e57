#pragma once

#include "app/models/SettingsTab.h"

#include <QTabWidget>

namespace Vantorel {

class AccountsSettingsView;
class GeneralSettingsView;

// The settings window's content: the General and Accounts tabs. It opens on the tab stored under
// "settingsTabSelection", follows a new value written there while it exists, and stores the tab
// the user picks.
class SettingsView : public QTabWidget {
    Q_OBJECT
public:
    static constexpr int minimumViewWidth = 540;
    static constexpr int minimumViewHeight = 340;

    explicit SettingsView(QWidget *parent = nullptr);

    Tab selectedTab() const;
    void setSelectedTab(Tab tab);

    GeneralSettingsView *generalView() const { return m_general; }
    AccountsSettingsView *accountsView() const { return m_accounts; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    GeneralSettingsView *m_general;
    AccountsSettingsView *m_accounts;
};

}  // namespace Vantorel
