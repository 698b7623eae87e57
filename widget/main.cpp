// Glimmerwick: the desktop widget with the newest reviews.
//
//   glimmerwick                                   show the widget, or bring the running one forward
//   glimmerwick --render small|medium|large FILE  draw the stored reviews to a PNG and exit
//               [--placeholder]                   ... or the four sample reviews

#include "Fennick/Persistence/PersistenceController.h"
#include "platform/Error.h"
#include "platform/ThreadPools.h"
#include "platform/widgethost/WidgetHost.h"
#include "widget/Desktop.h"
#include "widget/Provider.h"
#include "widget/ReviewsWidget.h"

#include <QApplication>
#include <QCommandLineParser>

using namespace Glimmerwick;
using platform::widgetkit::WidgetFamily;

namespace {
int render(const QString &familyName, const QString &file, bool placeholder)
{
    const QMap<QString, WidgetFamily> families{{QStringLiteral("small"), WidgetFamily::systemSmall},
                                               {QStringLiteral("medium"), WidgetFamily::systemMedium},
                                               {QStringLiteral("large"), WidgetFamily::systemLarge}};
    if (!families.contains(familyName)) {
        fprintf(stderr, "Unknown widget size \"%s\": use small, medium or large.\n", qPrintable(familyName));
        return 2;
    }
    auto provider = std::make_shared<Provider>();
    SimpleEntry entry = provider->placeholder({});
    if (!placeholder) {
        // The stored reviews as they are: drawing a picture never downloads.
        auto context = Fennick::PersistenceController::shared().container().newBackgroundContext();
        entry.reviews = context->performAndWait([](auto &c) { return Provider::fetchLatestReviews(c); });
        entry.date = QDateTime::currentDateTimeUtc();
    }
    const QImage image = platform::widgetkit::WidgetHost::render(
        reviewsWidget(provider), platform::widgetkit::AnyEntry{entry.date, entry}, families.value(familyName));
    if (!image.save(file, "PNG")) {
        fprintf(stderr, "Could not write %s\n", qPrintable(file));
        return 1;
    }
    return 0;
}
}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Vantorel"));
    app.setApplicationName(QStringLiteral("Glimmerwick"));
    app.setApplicationDisplayName(QCoreApplication::translate("ReviewsWidget", "Latest Reviews"));
    // Its own desktop entry, so that the desktop never takes its window for the application's.
    QGuiApplication::setDesktopFileName(QStringLiteral("glimmerwick"));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("render"), QStringLiteral("Draw the widget of SIZE to a PNG file and exit."),
                      QStringLiteral("SIZE")});
    parser.addOption({QStringLiteral("placeholder"), QStringLiteral("Draw the sample reviews instead of the stored ones.")});
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The PNG file, with --render."));
    parser.process(app);

    if (parser.isSet(QStringLiteral("render"))) {
        if (parser.positionalArguments().size() != 1)
            parser.showHelp(2);
        try {
            return render(parser.value(QStringLiteral("render")), parser.positionalArguments().first(),
                          parser.isSet(QStringLiteral("placeholder")));
        } catch (const platform::Error &error) {
            fprintf(stderr, "%s\n", qPrintable(error.localizedDescription()));
            return 1;
        }
    }

    const int code = runOnDesktop();
    // A refresh still running gets a moment to end, or is cut off (each store save is one
    // transaction, so nothing saved is lost); the exit handlers must not run under it.
    return platform::leaveAfterBackgroundWork(code, std::chrono::seconds(3));
}
