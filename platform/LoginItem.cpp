#include "platform/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <optional>

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

// The string value of a key as written, with its escapes undone.
QString unescaped(QStringView value)
{
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        switch (value[++i].unicode()) {
        case u's': text += u' '; break;
        case u'n': text += u'\n'; break;
        case u't': text += u'\t'; break;
        case u'r': text += u'\r'; break;
        case u'\\': text += u'\\'; break;
        default: text += u'\\'; text += value[i];  // not an escape: kept as written
        }
    }
    return text;
}

// The characters that an Exec argument holds only inside double quotes.
bool isReserved(QChar c)
{
    return QStringView(u" \t\n\"'\\><~|&;$*?#()`").contains(c);
}

// An argument of an Exec value as a launcher given no file or link runs it: "%%" is "%", other
// field codes stand for nothing, and an argument made of field codes only is left out.
void addArgument(QStringList &arguments, const QString &written)
{
    QString argument;
    for (qsizetype i = 0; i < written.size(); ++i) {
        if (written[i] != u'%' || i + 1 == written.size())
            argument += written[i];
        else if (written[++i] == u'%')
            argument += u'%';
    }
    if (!argument.isEmpty() || written.isEmpty())
        arguments += argument;
}

// The arguments of an Exec value (string escapes undone) by the Desktop Entry quoting rules.
// Nothing when a quote is left open.
QStringList execArguments(const QString &exec)
{
    QStringList arguments;
    QString argument;
    bool begun = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'"')
                quoted = false;
            else if (c == u'\\' && i + 1 < exec.size() && QStringView(u"\"`$\\").contains(exec[i + 1]))
                argument += exec[++i];
            else
                argument += c;
        } else if (c == u' ' || c == u'\t' || c == u'\n') {
            if (begun)
                addArgument(arguments, argument);
            argument.clear();
            begun = false;
        } else {
            begun = true;
            if (c == u'"')
                quoted = true;
            else if (c == u'\\' && i + 1 < exec.size())
                argument += exec[++i];
            else
                argument += c;
        }
    }
    if (quoted)
        return {};
    if (begun)
        addArgument(arguments, argument);
    return arguments;
}

// What updateIfRegistered() needs of an entry found in the autostart folder.
struct WrittenEntry {
    QString exec;
    bool hidden = false;
    bool gnomeEnabled = true;
};

// The entry's keys of its "Desktop Entry" group; nothing when it cannot be read or has no Exec.
std::optional<WrittenEntry> readEntry(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    WrittenEntry entry;
    bool hasExec = false;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals < 0)
            continue;
        const QStringView key = QStringView(line).first(equals).trimmed();
        const QString value = unescaped(QStringView(line).sliced(equals + 1).trimmed());
        if (key == u"Exec") {
            entry.exec = value;
            hasExec = true;
        } else if (key == u"Hidden") {
            entry.hidden = value == u"true" || value == u"1";
        } else if (key == u"X-GNOME-Autostart-enabled") {
            entry.gnomeEnabled = !(value == u"false" || value == u"0");
        }
    }
    if (!hasExec)
        return std::nullopt;
    return entry;
}

Error registerError(const QString &reason)
{
    return Error(LoginItemError::domain, LoginItemError::RegisterFailed,
                 QStringLiteral("Could not add the login item: %1").arg(reason));
}

// Writes to a temporary file and renames it, so a failure never leaves half an entry behind.
void writeEntry(const QString &path, const QByteArray &entry)
{
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder))
        throw registerError(QStringLiteral("the folder %1 cannot be created").arg(folder));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw registerError(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
    if (file.write(entry) != entry.size() || !file.commit())
        throw registerError(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
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
    QString argument = program;
    if (std::any_of(program.begin(), program.end(), isReserved)) {
        argument = QStringLiteral("\"");
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                argument += u'\\';
            argument += c;
        }
        argument += u'"';
    }
    // Field codes are expanded inside quotes too.
    argument.replace(u'%', QStringLiteral("%%"));
    // GLib looks for the program before it reads "%%" as "%", so such a path can only be an
    // argument: of env, or of sh when it holds "=", which env would take for a variable.
    if (program.contains(u'%')) {
        argument.prepend(program.contains(u'=') ? QStringLiteral("/bin/sh -c \"exec \\\"\\$0\\\" \\\"\\$@\\\"\" ")
                                                : QStringLiteral("/usr/bin/env "));
    }
    return stringValue(argument);
}

QByteArray LoginItem::desktopEntry() const
{
    return desktopEntry(false, true);
}

QByteArray LoginItem::desktopEntry(bool hidden, bool gnomeEnabled) const
{
    QByteArray entry;
    entry += "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=" + stringValue(m_displayName) + '\n';
    entry += "Exec=" + execValue(m_program) + '\n';
    if (!m_iconName.isEmpty())
        entry += "Icon=" + stringValue(m_iconName) + '\n';
    entry += "Terminal=false\n";
    if (hidden)
        entry += "Hidden=true\n";
    entry += gnomeEnabled ? "X-GNOME-Autostart-enabled=true\n" : "X-GNOME-Autostart-enabled=false\n";
    return entry;
}

bool LoginItem::updateIfRegistered() const
{
    if (!isRegistered())
        return false;
    const std::optional<WrittenEntry> current = readEntry(entryPath());
    if (current) {
        // Arguments the user added after the program's own do not make it another program.
        const QStringList program = execArguments(unescaped(QString::fromUtf8(execValue(m_program))));
        const QStringList started = execArguments(current->exec);
        if (started.size() >= program.size() && std::equal(program.begin(), program.end(), started.begin()))
            return false;
    }
    // An entry that cannot be read is rewritten like one that names another program.
    writeEntry(entryPath(), current ? desktopEntry(current->hidden, current->gnomeEnabled) : desktopEntry());
    return true;
}

void LoginItem::registerItem() const
{
    writeEntry(entryPath(), desktopEntry());
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
