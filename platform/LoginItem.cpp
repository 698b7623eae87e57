#include "platform/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace platform {

namespace {
// A string value of a desktop entry: one line, with a leading blank kept.
QByteArray stringValue(const QString &text)
{
    QString value;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\': value += QStringLiteral("\\\\"); break;
        case u'\n': value += QStringLiteral("\\n"); break;
        case u'\t': value += QStringLiteral("\\t"); break;
        case u'\r': value += QStringLiteral("\\r"); break;
        default: value += c;
        }
    }
    if (value.startsWith(u' '))
        value.replace(0, 1, QStringLiteral("\\s"));
    return value.toUtf8();
}

Error registerError(const QString &reason)
{
    return Error(LoginItemError::domain, LoginItemError::RegisterFailed,
                 QStringLiteral("Could not add the login item: %1").arg(reason));
}
}  // namespace

LoginItem::LoginItem(QString fileName, QString displayName, QString program, QString iconName)
    : m_fileName(std::move(fileName)),
      m_displayName(std::move(displayName)),
      m_program(std::move(program)),
      m_iconName(std::move(iconName))
{
}

LoginItem LoginItem::mainApp()
{
    return LoginItem(QStringLiteral("vantorel.desktop"), QStringLiteral("Vantorel"),
                     QCoreApplication::applicationFilePath(), QStringLiteral("vantorel"));
}

QString LoginItem::autostartFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::ConfigLocation)).filePath(QStringLiteral("autostart"));
}

QString LoginItem::entryPath() const
{
    return QDir(autostartFolder()).filePath(m_fileName);
}

bool LoginItem::isRegistered() const
{
    const QFileInfo info(entryPath());
    return info.exists() || info.isSymLink();
}

QByteArray LoginItem::execValue(const QString &program)
{
    // Quoted as one argument, then "%" doubled (field codes are expanded inside quotes too),
    // then the escapes of a string value, which a reader undoes first.
    QString argument = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            argument += u'\\';
        argument += c;
    }
    argument += u'"';
    argument.replace(u'%', QStringLiteral("%%"));
    return stringValue(argument);
}

QByteArray LoginItem::desktopEntry() const
{
    QByteArray entry;
    entry += "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=" + stringValue(m_displayName) + '\n';
    entry += "Exec=" + execValue(m_program) + '\n';
    if (!m_iconName.isEmpty())
        entry += "Icon=" + stringValue(m_iconName) + '\n';
    entry += "Terminal=false\n";
    entry += "X-GNOME-Autostart-enabled=true\n";
    return entry;
}

bool LoginItem::updateIfRegistered() const
{
    if (!isRegistered())
        return false;
    QFile file(entryPath());
    // An entry that cannot be read is rewritten like one that names another program.
    if (file.open(QIODevice::ReadOnly) && file.readAll() == desktopEntry())
        return false;
    file.close();
    registerItem();
    return true;
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
    if (!isRegistered())
        return;
    const QString path = entryPath();
    QFile file(path);
    if (!file.remove()) {
        throw Error(LoginItemError::domain, LoginItemError::UnregisterFailed,
                    QStringLiteral("Could not remove the login item %1: %2").arg(path, file.errorString()));
    }
}

}  // namespace platform
