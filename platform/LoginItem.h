#pragma once

#include "platform/Error.h"

#include <QString>

namespace platform {

namespace LoginItemError {
inline const QString domain = QStringLiteral("platform.LoginItem");

enum Code : qint64 {
    // The autostart folder or the entry in it could not be written.
    RegisterFailed = 1,
    // The entry exists but could not be removed.
    UnregisterFailed = 2,
};
}  // namespace LoginItemError

// Starts a program when the user logs in, through an XDG autostart entry
// (`<config>/autostart/<fileName>`, config being QStandardPaths::ConfigLocation). The entry's
// existence is the whole state; nothing else is kept.
class LoginItem {
public:
    // `program` is the absolute path of what the entry starts: a bare name would depend on a
    // PATH that the session may not have. `iconName` names a theme icon.
    LoginItem(QString fileName, QString displayName, QString program, QString iconName = {});

    // The item for the application itself: "vantorel.desktop", starting this very program.
    static LoginItem mainApp();

    QString entryPath() const;
    static QString autostartFolder();

    bool isRegistered() const;
    // Writes the entry (replacing an older one) in one step; throws Error (RegisterFailed)
    // with the reason when the folder or the file cannot be written.
    void registerItem() const;
    // Removes the entry; nothing to do when there is none. Throws Error (UnregisterFailed) when
    // it cannot be removed.
    void unregisterItem() const;
    // Rewrites an existing entry whose Exec starts another program than this item's (the program
    // was moved). An entry that starts this program is left as it is, whatever else it holds: the
    // desktop's own tool turns an entry off with `Hidden=true` or `X-GNOME-Autostart-enabled=false`,
    // and a rewrite keeps those. True when it rewrote the entry; an absent entry stays absent.
    // Throws like registerItem().
    bool updateIfRegistered() const;

    // The text of the entry that registerItem() writes.
    QByteArray desktopEntry() const;
    // The Exec value that starts `program` with no argument, escaped by the Desktop Entry rules.
    // cmake/DesktopEntryExec.cmake writes the installed entries by the same rule.
    static QByteArray execValue(const QString &program);

private:
    QByteArray desktopEntry(bool hidden, bool gnomeEnabled) const;

    QString m_fileName;
    QString m_displayName;
    QString m_program;
    QString m_iconName;
};

}  // namespace platform
