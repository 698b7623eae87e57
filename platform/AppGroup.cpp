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
    const QFileInfo info(path);
    if (!info.isDir() || !info.isWritable())
        return std::nullopt;
    return info.absoluteFilePath();
}

}  // namespace platform::AppGroup
