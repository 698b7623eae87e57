#include "platform/LoginItem.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace platform {

namespace {
Error registerError(const QString &reason)
{
    return Error(LoginItemError::domain, LoginItemError::RegisterFailed,
                 QStringLiteral("Could not add the login item: %1").arg(reason));
}
}  // namespace

LoginItem::LoginItem(QString fileName, QString displayName, QString command)
    : m_fileName(std::move(fileName)), m_displayName(std::move(displayName)), m_command(std::move(command))
{
}

LoginItem LoginItem::mainApp()
{
    return LoginItem(QStringLiteral("vantorel.desktop"), QStringLiteral("Vantorel"), QStringLiteral("vantorel"));
}

QString LoginItem::autostartFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::ConfigLocation)).filePath(QStringLiteral("autostart"));
}

QString LoginItem::entryPath() const
{
    return QDir(autostartFolder()).filePath(m_fileName);
}

QByteArray LoginItem::desktopEntry() const
{
    QByteArray entry;
    entry += "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=" + m_displayName.toUtf8() + '\n';
    entry += "Exec=" + m_command.toUtf8() + '\n';
    entry += "Icon=" + m_command.toUtf8() + '\n';
    entry += "Terminal=false\n";
    entry += "X-GNOME-Autostart-enabled=true\n";
    return entry;
}

void LoginItem::registerItem() const
{
    const QString folder = autostartFolder();
    if (!QDir().mkpath(folder))
        throw registerError(QStringLiteral("the folder %1 cannot be created").arg(folder));
    // Written to a temporary file and renamed, so a failure never leaves half an entry behind.
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        throw registerError(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
    const QByteArray entry = desktopEntry();
    if (file.write(entry) != entry.size() || !file.commit())
        throw registerError(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
}

void LoginItem::unregisterItem() const
{
    const QString path = entryPath();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    QFile file(path);
    if (!file.remove()) {
        throw Error(LoginItemError::domain, LoginItemError::UnregisterFailed,
                    QStringLiteral("Could not remove the login item %1: %2").arg(path, file.errorString()));
    }
}

}  // namespace platform
