#include "app/views/GeneralSettingsView.h"
#include "app/models/SettingsKeys.h"

#include "Fennick/Analytics.h"
#include "Fennick/Log.h"
#include "app/views/WidgetAdCard.h"
#include "platform/LoginItem.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Vantorel {

const QList<GeneralSettingsView::Switch> &GeneralSettingsView::switches()
{
    static const QList<Switch> list = {
        {SettingsKey::loadReviewsAtLaunch, true, QT_TR_NOOP("Load reviews at launch once per day")},
        {SettingsKey::showNotifications, true, QT_TR_NOOP("Show notifications for new reviews")},
        {SettingsKey::enableTranslationSupport, true, QT_TR_NOOP("Enable translation support")},
        {SettingsKey::showsStatusItem, false, QT_TR_NOOP("Show menu bar item")},
        {SettingsKey::openAtLogin, false, QT_TR_NOOP("Open at login")},
    };
    return list;
}

namespace {
bool storedValue(const GeneralSettingsView::Switch &entry)
{
    const QVariant value = platform::UserDefaults::standard().value(entry.key);
    return value.isValid() ? value.toBool() : entry.defaultValue;
}
}  // namespace

GeneralSettingsView::GeneralSettingsView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("generalSettings"));

    auto *form = new QWidget(this);
    form->setObjectName(QStringLiteral("generalForm"));
    auto *toggles = new QVBoxLayout(form);
    toggles->setContentsMargins(0, 0, 0, 0);
    for (const Switch &entry : switches()) {
        auto *box = new QCheckBox(tr(entry.label), form);
        box->setObjectName(entry.key);
        box->setChecked(storedValue(entry));
        connect(box, &QCheckBox::toggled, this, [this, key = entry.key](bool on) { apply(key, on); });
        toggles->addWidget(box);
        m_boxes.append(box);
    }

    // Form and card share one cell: the card lies over the form's bottom edge, centred, and
    // takes no room from it.
    auto *layout = new QGridLayout(this);
    layout->addWidget(form, 0, 0, Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(new WidgetAdCard(this), 0, 0, Qt::AlignBottom | Qt::AlignHCenter);
    layout->setRowStretch(0, 1);
    layout->setColumnStretch(0, 1);

    // A change made elsewhere (a menu, another window) shows here without acting on it again.
    connect(&platform::UserDefaults::standard(), &platform::UserDefaults::valueChanged, this,
            &GeneralSettingsView::showStoredValue);
}

QCheckBox *GeneralSettingsView::switchFor(const QString &key) const
{
    for (QCheckBox *box : m_boxes) {
        if (box->objectName() == key)
            return box;
    }
    return nullptr;
}

void GeneralSettingsView::apply(const QString &key, bool value)
{
    platform::UserDefaults::standard().setValue(key, value);
    if (key == SettingsKey::openAtLogin)
        updateOpenAtLogin(value);
}

void GeneralSettingsView::updateOpenAtLogin(bool value)
{
    const platform::LoginItem item = platform::LoginItem::mainApp();
    try {
        if (value)
            item.registerItem();
        else
            item.unregisterItem();
    } catch (const std::exception &error) {
        const QString description = platform::Error::from(error).localizedDescription();
        if (value) {
            Fennick::TrackError(error, QStringLiteral("RegisterOnLoad"));
            qCCritical(Fennick::Log::app(), "Could not register open at login: %s", qUtf8Printable(description));
        } else {
            Fennick::TrackError(error, QStringLiteral("UnregisterOnLoad"));
            qCCritical(Fennick::Log::app(), "Could not unregister open at login: %s", qUtf8Printable(description));
        }
    }
}

void GeneralSettingsView::showStoredValue(const QString &key)
{
    QCheckBox *box = switchFor(key);
    if (!box)
        return;
    for (const Switch &entry : switches()) {
        if (entry.key == key) {
            const QSignalBlocker blocker(box);
            box->setChecked(storedValue(entry));
        }
    }
}

}  // namespace Vantorel
