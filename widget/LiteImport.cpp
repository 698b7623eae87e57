#include "Fennick/DataImporter/DataImporter.h"
#include "widget/Provider.h"

namespace Glimmerwick {

// The same download as the application's; the provider runs it on its own worker thread.
int Provider::importAll(const std::shared_ptr<platform::store::Context> &context)
{
    return Fennick::DataImporter(context, false).importDataAndWait();
}

}  // namespace Glimmerwick
