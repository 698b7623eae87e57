#include "Fennick/Persistence/StoreModel.h"

#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "platform/store/Migration.h"

namespace Fennick {

std::shared_ptr<const platform::store::Model> storeModel()
{
    static const std::shared_ptr<const platform::store::Model> model = [] {
        auto built = std::make_shared<platform::store::Model>();
        built->version = 4;
        // Owners first: the store writes new rows in this order.
        built->entities = {ManagedAccount::description(), ManagedApp::description(),
                           ManagedAppVersion::description(), ManagedReview::description()};
        // 1 to 2: one row per identifier under each parent. 2 to 3: the search index, and
        // indexes that serve the summaries' sorted fetches instead of ones no fetch used. 3 to
        // 4: the store adds inserted rows to the search index itself, without a trigger.
        built->migrations = {{1, [](platform::store::MigrationStep &step) { step.updateIndexes(); }},
                             {2, [](platform::store::MigrationStep &step) { step.updateIndexes(); }},
                             {3, [](platform::store::MigrationStep &step) { step.updateSearchIndexes(); }}};
        return built;
    }();
    return model;
}

}  // namespace Fennick
