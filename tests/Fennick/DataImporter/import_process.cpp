// One program's import of a store file, started together with another one.
//   import_process STORE_PATH CONNECT_URL
// Opens the store, prints "ready", waits for a line on its standard input, imports every account
// (keys as kept in the account rows) and prints "new N" with the importer's count.
#include "Fennick/DataImporter/DataImporter.h"
#include "Fennick/Endpoints.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/keychain/Keychain.h"
#include "platform/store/Container.h"

#include <QCoreApplication>
#include <cstdio>

using namespace Fennick;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 64;
    platform::Keychain::useInMemoryBackendForTesting();
    Endpoints::setBaseUrl(Endpoints::Service::connect, args[2]);
    try {
        platform::store::Container container(QStringLiteral("Vantorel"), storeModel(), args[1]);
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
        char line[16];
        if (!std::fgets(line, sizeof line, stdin))
            return 65;
        const int found = DataImporter(container.newBackgroundContext(), false).importData().result();
        std::fprintf(stdout, "new %d\n", found);
        std::fflush(stdout);
        return 0;
    } catch (const platform::Error &error) {
        std::fprintf(stdout, "failed: %s\n", qPrintable(error.localizedDescription()));
        return 2;
    }
}
