#include "platform/AppGroup.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform::AppGroup {

std::optional<QString> containerPath(const QString &groupIdentifier)
{
    if (groupIdentifier.isEmpty() || groupIdentifier.contains(QLatin1Char('/')))
        return std::nullopt;
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return std::nullopt;
    const QString path = QDir(base).filePath(groupIdentifier);
    if (!QDir().mkpath(path))
        return std::nullopt;
    // A folder that exists but cannot be written is still the shared one: falling back to a
    // folder of our own would hide what the other program keeps there. Writing into it fails
    // later, with a reason that names it.
    const QFileInfo info(path);
    if (!info.isDir())
        return std::nullopt;
    return info.absoluteFilePath();
}

}  // namespace platform::AppGroup
