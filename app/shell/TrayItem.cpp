#include "app/shell/TrayItem.h"
#include "app/models/SettingsKeys.h"

#include "app/shell/AppIcon.h"
#include "platform/UserDefaults.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace Vantorel {

TrayItem::TrayItem(QObject *parent) : QObject(parent), m_menu(std::make_unique<QMenu>())
{
    QAction *show = m_menu->addAction(tr("Show Vantorel"), this, &TrayItem::showApplicationRequested);
    show->setObjectName(QStringLiteral("showVantorel"));
    m_menu->addSeparator();
    QAction *quit = m_menu->addAction(tr("Quit"), this, &TrayItem::quitRequested);
    quit->setObjectName(QStringLiteral("trayQuit"));

    connect(&platform::UserDefaults::standard(), &platform::UserDefaults::valueChanged, this,
            [this](const QString &key) {
                if (key == SettingsKey::showsStatusItem)
                    update();
            });
    update();
}

TrayItem::~TrayItem()
{
    delete m_icon;
}

void TrayItem::update()
{
    const bool wanted = platform::UserDefaults::standard().boolValue(SettingsKey::showsStatusItem);
    if (wanted == isInserted())
        return;
    if (!wanted) {
        delete m_icon;
        return;
    }
    m_icon = new QSystemTrayIcon(applicationIcon(), this);
    m_icon->setToolTip(tr("Vantorel"));
    m_icon->setContextMenu(m_menu.get());
    // A click opens the same menu, as the status item does elsewhere.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    m_icon->show();
}

}  // namespace Vantorel
