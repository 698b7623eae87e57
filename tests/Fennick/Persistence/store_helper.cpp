// Opens the shared store as a second process would.
//   store_helper open                 exit 0, or print the load error and exit 2
//   store_helper write NAME COUNT     add account NAME and COUNT apps, one save per app
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/PersistenceController.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>

using namespace Fennick;

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);  // the same folders as the test that started us
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 64;
    try {
        PersistenceController &controller = PersistenceController::shared();
        if (args[1] == QStringLiteral("open"))
            return 0;
        if (args[1] != QStringLiteral("write") || args.size() != 4)
            return 64;
        const QString name = args[2];
        const int count = args[3].toInt();
        auto context = controller.container().newBackgroundContext();
        context->performAndWait([&](platform::store::Context &c) {
            auto *account = c.insert<ManagedAccount>();
            account->setName(name);
            c.save();
            for (int i = 0; i < count; ++i) {
                auto *row = c.insert<ManagedApp>();
                row->setIdentifier(QStringLiteral("%1-%2").arg(name).arg(i));
                row->setAccount(account);
                c.save();
            }
        });
        std::fputs("done\n", stdout);
        return 0;
    } catch (const platform::Error &error) {
        std::fputs(error.localizedDescription().toUtf8().constData(), stdout);
        std::fputs("\n", stdout);
        return 2;
    }
}
