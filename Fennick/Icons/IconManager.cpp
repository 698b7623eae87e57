#include "Fennick/Icons/IconManager.h"

#include "Fennick/Analytics.h"
#include "Fennick/GroupIdentifier.h"
#include "platform/AppGroup.h"
#include "platform/Error.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

namespace Fennick {

std::optional<QString> IconManager::iconFolder()
{
    if (auto group = platform::AppGroup::containerPath(appGroupIdentifier))
        return group;
    TrackEvent(QStringLiteral("UnableToAccessAppGroupP"));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return std::nullopt;
    const QString folder = QDir(data).filePath(QStringLiteral("Vantorel"));
    QDir().mkpath(folder);  // a failure shows later, as a missing file or a failed write
    return folder;
}

bool IconManager::isSafeIdentifier(const QString &identifier)
{
    return !identifier.isEmpty() && identifier != QLatin1String(".") && identifier != QLatin1String("..")
           && !identifier.contains(QLatin1Char('/')) && !identifier.contains(QChar(u'\0'));
}

std::optional<QString> IconManager::iconPath(const QString &identifier)
{
    if (!isSafeIdentifier(identifier))
        return std::nullopt;
    const auto folder = iconFolder();
    if (!folder)
        return std::nullopt;
    return QDir(*folder).filePath(identifier + QStringLiteral(".png"));
}

QImage IconManager::icon(const QString &identifier) const
{
    const auto path = iconPath(identifier);
    return path ? QImage(*path) : QImage();
}

void IconManager::store(const QByteArray &bytes, const QString &identifier) const
{
    const auto path = iconPath(identifier);
    if (!path)
        throw platform::Error(QStringLiteral("Fennick.IconManager"), 1,
                              QStringLiteral("No icon file can be written for app \"%1\".").arg(identifier));
    // Written aside and renamed, so that a reader never sees half an icon.
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw platform::Error(QStringLiteral("Fennick.IconManager"), 2,
                              QStringLiteral("Could not write %1: %2").arg(*path, file.errorString()));
}

}  // namespace Fennick
