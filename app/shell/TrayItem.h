#pragma once

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <memory>

class QMenu;

namespace Vantorel {

// The status item in the system tray, inserted while the setting "showsStatusItem" is on and
// following it at once. Its menu: "Show Vantorel", a divider, "Quit".
class TrayItem : public QObject {
    Q_OBJECT
public:

    explicit TrayItem(QObject *parent = nullptr);
    ~TrayItem() override;

    bool isInserted() const { return m_icon != nullptr; }
    // Null while not inserted.
    QSystemTrayIcon *icon() const { return m_icon; }
    QMenu *menu() const { return m_menu.get(); }

signals:
    void showApplicationRequested();
    void quitRequested();

private:
    void update();

    std::unique_ptr<QMenu> m_menu;
    QPointer<QSystemTrayIcon> m_icon;
};

}  // namespace Vantorel
