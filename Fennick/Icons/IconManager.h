#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

namespace Fennick {

// App icons as image files named after the app's store identifier, in the folder that the
// application and the widget share. Safe to use from any thread.
class IconManager {
public:
    // The icon, or a null image when there is no readable image file for the app.
    QImage icon(const QString &identifier) const;
    // Writes the bytes as the app's icon file, replacing any file there; throws on failure.
    void store(const QByteArray &bytes, const QString &identifier) const;

    // The file of an app's icon; nothing when no folder can be had or the identifier is not a
    // plain file name (identifiers come from the network and never become paths of their own).
    static std::optional<QString> iconPath(const QString &identifier);
    // The app-group folder, else "Vantorel" in the user's data folder; computed on every use.
    static std::optional<QString> iconFolder();
    static bool isSafeIdentifier(const QString &identifier);
};

}  // namespace Fennick
