// Opens the shared store as a second process would.
//   store_helper open                 exit 0, or print the load error and exit 2
//   store_helper write NAME COUNT     add account NAME and COUNT apps, one save per app
//   store_helper mkdir PATH           make a folder (as the user this helper runs as)
// With STORE_HELPER_UNPRIVILEGED set, a helper started as root runs as "nobody".
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/PersistenceController.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QDir>
#include <cstdio>
#include <grp.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Fennick;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("STORE_HELPER_UNPRIVILEGED") && geteuid() == 0) {
        constexpr gid_t nogroup = 65534;
        constexpr uid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nogroup) != 0 || setuid(nobody) != 0)
            return 70;
        prctl(PR_SET_DUMPABLE, 1);  // the leak checker of sanitizer builds inspects the process
    }
    QStandardPaths::setTestModeEnabled(true);  // the same folders as the test that started us
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 64;
    if (args[1] == QStringLiteral("mkdir"))
        return args.size() == 3 && QDir().mkpath(args[2]) ? 0 : 1;
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
