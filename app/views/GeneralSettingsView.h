#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QCheckBox;

namespace Vantorel {

// The General tab: five switches kept in the standard user defaults, applied at once, with the
// widget card centred at the bottom over them. Turning "Open at login" on or off adds or
// removes the application's login item; a failure is reported and logged, and the switch keeps
// its new position.
class GeneralSettingsView : public QWidget {
    Q_OBJECT
public:
    struct Switch {
        QString key;
        bool defaultValue;
        const char *label;
    };
    // In the order they are shown.
    static const QList<Switch> &switches();

    explicit GeneralSettingsView(QWidget *parent = nullptr);

    // The check box of a key; nullptr for a key that has none.
    QCheckBox *switchFor(const QString &key) const;

private:
    void apply(const QString &key, bool value);
    void updateOpenAtLogin(bool value);
    void showStoredValue(const QString &key);

    QList<QCheckBox *> m_boxes;
};

}  // namespace Vantorel
