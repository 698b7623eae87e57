#include "Fennick/Persistence/PersistenceController.h"

#include "Fennick/Log.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/AppGroup.h"
#include "platform/store/StoreError.h"

#include <QDir>
#include <QStandardPaths>
#include <variant>

namespace Fennick {

PersistenceController::PersistenceController(std::unique_ptr<platform::store::Container> container)
    : m_container(std::move(container))
{
}

QString PersistenceController::storePath()
{
    if (const std::optional<QString> group = platform::AppGroup::containerPath(appGroup))
        return QDir(*group).filePath(storeFileName);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty())
        folder = QDir::home().filePath(QStringLiteral(".local/share/") + containerName);
    QDir().mkpath(folder);
    return QDir(folder).filePath(containerName + QStringLiteral(".sqlite"));
}

PersistenceController &PersistenceController::shared()
{
    static const std::variant<PersistenceController *, platform::Error> instance =
        []() -> std::variant<PersistenceController *, platform::Error> {
        try {
            auto container = std::make_unique<platform::store::Container>(containerName, storeModel(), storePath());
            return new PersistenceController(std::move(container));
        } catch (const platform::store::StoreError &error) {
            const QString message = QStringLiteral("Unresolved error ") + error.localizedDescription()
                + QStringLiteral(", ") + error.details();
            qCCritical(Log::model).noquote() << message;
            return platform::Error(error.domain(), error.code(), message);
        } catch (const std::exception &error) {
            const platform::Error base = platform::Error::from(error);
            const QString message = QStringLiteral("Unresolved error ") + base.localizedDescription() + QStringLiteral(", {}");
            qCCritical(Log::model).noquote() << message;
            return platform::Error(base.domain(), base.code(), message);
        }
    }();
    if (const auto *error = std::get_if<platform::Error>(&instance))
        error->raise();
    return *std::get<PersistenceController *>(instance);
}

}  // namespace Fennick
