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
    // `command` is what the entry's Exec line runs; `fileName` names the entry in the folder.
    LoginItem(QString fileName, QString displayName, QString command);

    // The item for the application itself: "vantorel.desktop", starting `vantorel`.
    static LoginItem mainApp();

    QString entryPath() const;
    static QString autostartFolder();

    // Writes the entry (replacing an older one) in one step; throws Error (RegisterFailed)
    // with the reason when the folder or the file cannot be written.
    void registerItem() const;
    // Removes the entry; nothing to do when there is none. Throws Error (UnregisterFailed) when
    // it cannot be removed.
    void unregisterItem() const;

    // The text of the entry that registerItem() writes.
    QByteArray desktopEntry() const;

private:
    QString m_fileName;
    QString m_displayName;
    QString m_command;
};

}  // namespace platform
