// Vantorel: read and answer the App Store reviews of your apps.
//
//   vantorel                          start, or bring the running instance's main window up
//   vantorel vantorel://SendFeedback  ... or its feedback window

#include "Fennick/Persistence/PersistenceController.h"
#include "app/shell/AppIcon.h"
#include "app/shell/StartupProbe.h"
#include "app/shell/VantorelApp.h"
#include "platform/Error.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "platform/ThreadPools.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vantorel"));
    QApplication::setApplicationName(QStringLiteral("Vantorel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vantorel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("vantorel"));
    QApplication::setWindowIcon(Vantorel::applicationIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Read and answer the App Store reviews of your apps."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("url"),
                                 QStringLiteral("A vantorel: link to open, such as vantorel://SendFeedback."),
                                 QStringLiteral("[url]"));
    parser.process(application);
    const QString url = parser.positionalArguments().value(0);

    // A later launch hands its link (or nothing) to the running instance and ends.
    platform::SingleInstance instance(QStringLiteral("vantorel"));
    if (!instance.claim()) {
        if (instance.sendToPrimary(url.toUtf8()))
            return 0;
        std::fprintf(stderr, "Vantorel is already running but does not answer.\n");
        return 1;
    }

    try {
        Fennick::PersistenceController::shared();  // fail early, with a message, if there is no store
    } catch (const platform::Error &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.localizedDescription()));
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), error.localizedDescription());
        return 1;
    }

    platform::quitOnTerminationSignals();
    int code = 0;
    {
        Vantorel::VantorelApp app;
        QObject::connect(&instance, &platform::SingleInstance::messageReceived, &app,
                         &Vantorel::VantorelApp::handleLaunchMessage);
        if (!url.isEmpty())
            app.handleUrl(QUrl(url));
        Vantorel::installStartupProbe(app);
        app.start();
        code = application.exec();
    }
    // A download or store write still running gets a moment to end; the exit handlers must not
    // run under it.
    return platform::leaveAfterBackgroundWork(code, std::chrono::seconds(3));
}
