#include "platform/UserDefaults.h"

#include "platform/AppGroup.h"

#include <QDir>
#include <map>

namespace platform {

UserDefaults::UserDefaults(std::unique_ptr<QSettings> settings) : m_settings(std::move(settings)) {}

UserDefaults &UserDefaults::standard()
{
    static UserDefaults *defaults = new UserDefaults(std::make_unique<QSettings>());
    return *defaults;
}

UserDefaults *UserDefaults::suite(const QString &groupIdentifier)
{
    // Process-lifetime objects, like standard(): never destroyed, so never used after teardown.
    static QMutex mutex;
    static auto *suites = new std::map<QString, UserDefaults *>;
    const auto folder = AppGroup::containerPath(groupIdentifier);
    if (!folder)
        return nullptr;
    QMutexLocker lock(&mutex);
    auto &suite = (*suites)[groupIdentifier];
    if (!suite) {
        const QString path = QDir(*folder).filePath(QStringLiteral("defaults.ini"));
        suite = new UserDefaults(std::make_unique<QSettings>(path, QSettings::IniFormat));
    }
    return suite;
}

void UserDefaults::registerDefaults(const QVariantMap &defaults)
{
    QMutexLocker lock(&m_mutex);
    m_registered.insert(defaults);
}

QVariant UserDefaults::value(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    m_settings->sync();  // picks up another process's writes
    const QVariant stored = m_settings->value(key);
    return stored.isValid() ? stored : m_registered.value(key);
}

bool UserDefaults::boolValue(const QString &key) const
{
    return value(key).toBool();
}

qint64 UserDefaults::integerValue(const QString &key) const
{
    return value(key).toLongLong();
}

double UserDefaults::doubleValue(const QString &key) const
{
    return value(key).toDouble();
}

QString UserDefaults::stringValue(const QString &key) const
{
    return value(key).toString();
}

bool UserDefaults::hasStoredValue(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    m_settings->sync();
    return m_settings->contains(key);
}

void UserDefaults::setValue(const QString &key, const QVariant &value)
{
    {
        QMutexLocker lock(&m_mutex);
        m_settings->setValue(key, value);
        m_settings->sync();
    }
    emit valueChanged(key);
}

void UserDefaults::removeValue(const QString &key)
{
    {
        QMutexLocker lock(&m_mutex);
        m_settings->remove(key);
        m_settings->sync();
    }
    emit valueChanged(key);
}

QString UserDefaults::fileName() const
{
    QMutexLocker lock(&m_mutex);
    return m_settings->fileName();
}

}  // namespace platform
