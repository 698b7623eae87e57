#pragma once

#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QVariantMap>
#include <memory>

namespace platform {

// Key-value settings with a registration domain: a read returns the stored value, else the
// registered default, else an empty value. Safe to use from any thread. Reads re-check the
// file, so values written by another process are seen.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    // The application's own settings.
    static UserDefaults &standard();
    // Settings shared through the app-group folder; nullptr when that folder is unavailable.
    static UserDefaults *suite(const QString &groupIdentifier);

    void registerDefaults(const QVariantMap &defaults);

    QVariant value(const QString &key) const;
    bool boolValue(const QString &key) const;
    qint64 integerValue(const QString &key) const;
    double doubleValue(const QString &key) const;
    QString stringValue(const QString &key) const;
    bool hasStoredValue(const QString &key) const;

    void setValue(const QString &key, const QVariant &value);
    void removeValue(const QString &key);

    QString fileName() const;

signals:
    // Emitted in this process after a set or remove of `key`, on the thread that made it.
    void valueChanged(const QString &key);

private:
    explicit UserDefaults(std::unique_ptr<QSettings> settings);

    mutable QMutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
};

}  // namespace platform
