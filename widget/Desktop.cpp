#include "widget/Desktop.h"

#include "Fennick/Persistence/PersistenceController.h"
#include "platform/Error.h"
#include "platform/LoginItem.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "platform/widgethost/WidgetHost.h"
#include "widget/ReviewsWidget.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace Glimmerwick {

using platform::widgetkit::WidgetHost;

namespace {
// While the widget is open it comes back at the next login, as a widget the user added stays on
// the desktop; closing it takes it away. The session's end (SIGTERM) keeps the entry.
platform::LoginItem loginItem(const QString &displayName)
{
    return platform::LoginItem(QStringLiteral("glimmerwick.desktop"), displayName,
                               QCoreApplication::applicationFilePath(), QStringLiteral("glimmerwick"));
}

void report(const platform::Error &error)
{
    std::fprintf(stderr, "%s\n", qPrintable(error.localizedDescription()));
}
}  // namespace

int runOnDesktop()
{
    // Claimed before the store opens: a later start touches nothing but the socket.
    platform::SingleInstance instance(QStringLiteral("glimmerwick"));
    if (!instance.claim()) {
        if (instance.sendToPrimary({}))
            return 0;
        std::fprintf(stderr, "The widget is already running but does not answer.\n");
        return 1;
    }

    try {
        Fennick::PersistenceController::shared();  // fail early, with a message, if there is no store
    } catch (const platform::Error &error) {
        report(error);
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), error.localizedDescription());
        return 1;
    }

    platform::quitOnTerminationSignals();
    const auto configuration = reviewsWidget();
    const platform::LoginItem item = loginItem(configuration.displayName);
    try {
        // An entry the user turned off in the desktop's own tool stays off.
        if (item.isRegistered())
            item.updateIfRegistered();
        else
            item.registerItem();
    } catch (const platform::Error &error) {
        report(error);  // the widget still runs, only not at the next login
    }

    WidgetHost host(configuration);
    if (!host.listen())
        std::fprintf(stderr, "Another widget is already running; this one will not be told to reload.\n");
    QObject::connect(&instance, &platform::SingleInstance::messageReceived, &host, &WidgetHost::bringForward);
    // The window goes at once; a download still running is the caller's to wait for.
    QObject::connect(&host, &WidgetHost::closeRequested, &host, [&host, &item] {
        try {
            item.unregisterItem();
        } catch (const platform::Error &error) {
            report(error);
        }
        host.hide();
        QCoreApplication::quit();
    });
    host.show();
    return QApplication::exec();
}

}  // namespace Glimmerwick
