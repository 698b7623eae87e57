#include "app/models/AppVisibility.h"

#include "Fennick/Analytics.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "app/models/MainViewModel.h"
#include "platform/Error.h"

namespace Vantorel {

bool setAppHidden(MainViewModel &model, const Fennick::StoreApp &app, bool hidden)
{
    try {
        auto &context = Fennick::PersistenceController::shared().container().viewContext();
        // A row that is gone (its account was removed meanwhile) has nothing to write; the
        // reload below drops it from the sidebar.
        if (auto *row = context.existingObject<Fennick::ManagedApp>(app.id)) {
            row->setIsHidden(hidden);
            context.save();
        }
    } catch (const std::exception &error) {
        Fennick::TrackError(error, hidden ? QStringLiteral("HideApp") : QStringLiteral("UnhideApp"));
        const QString text = platform::Error::from(error).localizedDescription();
        if (hidden)
            qCCritical(Fennick::Log::model(), "Could not hide app: %s", qUtf8Printable(text));
        else
            qCCritical(Fennick::Log::model(), "Could not unhide app: %s", qUtf8Printable(text));
        return false;
    }
    model.reloadSidebar();
    return true;
}

}  // namespace Vantorel
