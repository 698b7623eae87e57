#include "widget/Desktop.h"

#include "Fennick/Persistence/PersistenceController.h"
#include "platform/Error.h"
#include "platform/SingleInstance.h"
#include "platform/widgethost/WidgetHost.h"
#include "widget/ReviewsWidget.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace Glimmerwick {

using platform::widgetkit::WidgetHost;

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
        std::fprintf(stderr, "%s\n", qPrintable(error.localizedDescription()));
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), error.localizedDescription());
        return 1;
    }

    WidgetHost host(reviewsWidget());
    if (!host.listen())
        std::fprintf(stderr, "Another widget is already running; this one will not be told to reload.\n");
    QObject::connect(&instance, &platform::SingleInstance::messageReceived, &host, &WidgetHost::bringForward);
    // The window goes at once; a download still running is the caller's to wait for.
    QObject::connect(&host, &WidgetHost::closeRequested, &host, [&host] {
        host.hide();
        QCoreApplication::quit();
    });
    host.show();
    return QApplication::exec();
}

}  // namespace Glimmerwick
