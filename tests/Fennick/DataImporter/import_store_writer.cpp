// Writes into a store file as a second process would, until its standard input closes.
//   import_store_writer STORE_PATH NAME
// Prints "started" after its first save and "wrote N" at the end: N saves, each adding one app
// (identifier NAME-<i>) with a version and five reviews under the account NAME.
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/store/Container.h"

#include <QCoreApplication>
#include <atomic>
#include <cstdio>
#include <thread>

using namespace Fennick;
using platform::store::Context;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 64;
    const QString name = args[2];
    std::atomic<bool> stop = false;
    std::thread reader([&stop] {
        while (std::fgetc(stdin) != EOF) {
        }
        stop = true;
    });
    int written = 0;
    try {
        platform::store::Container container(QStringLiteral("Vantorel"), storeModel(), args[1]);
        auto context = container.newBackgroundContext();
        context->performAndWait([&](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            account->setName(name);
            c.save();
            while (written == 0 || !stop) {
                auto *row = c.insert<ManagedApp>();
                row->setIdentifier(QStringLiteral("%1-%2").arg(name).arg(written));
                row->setAccount(account);
                auto *version = c.insert<ManagedAppVersion>();
                version->setIdentifier(QStringLiteral("%1-%2-v").arg(name).arg(written));
                version->setApp(row);
                version->setAccount(account);
                for (int i = 0; i < 5; ++i) {
                    auto *review = c.insert<ManagedReview>();
                    review->setIdentifier(QStringLiteral("%1-%2-r%3").arg(name).arg(written).arg(i));
                    review->setBody(QStringLiteral("written by the other process"));
                    review->setVersion(version);
                    review->setApp(row);
                    review->setAccount(account);
                }
                c.save();
                if (++written == 1) {
                    std::fputs("started\n", stdout);
                    std::fflush(stdout);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    } catch (const platform::Error &error) {
        std::fprintf(stdout, "failed after %d: %s\n", written, qPrintable(error.localizedDescription()));
        std::fflush(stdout);
        reader.detach();
        return 2;
    }
    std::fprintf(stdout, "wrote %d\n", written);
    std::fflush(stdout);
    reader.join();
    return 0;
}
