#include "app/shell/Menus.h"

#include "app/models/MainViewModel.h"
#include "app/shell/AppConstants.h"
#include "app/shell/VantorelApp.h"
#include "app/views/LinkOpener.h"
#include "platform/Updater.h"
#include "platform/widgetkit/WidgetCenter.h"

#include <QMenuBar>
#include <QSignalBlocker>

namespace Vantorel {

namespace {

QAction *addAction(QMenu *menu, const char *name, const QString &text, const QKeySequence &shortcut = {})
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    return action;
}

// A View-menu switch that follows the model's setting both ways.
void bindToggle(QAction *action, MainViewModel &model, bool (MainViewModel::*get)() const,
                void (MainViewModel::*set)(bool), void (MainViewModel::*changed)())
{
    action->setCheckable(true);
    action->setChecked((model.*get)());
    QObject::connect(action, &QAction::toggled, &model, [&model, set](bool on) { (model.*set)(on); });
    QObject::connect(&model, changed, action, [action, &model, get] {
        const QSignalBlocker blocker(action);
        action->setChecked((model.*get)());
    });
}

QKeySequence preferencesShortcut()
{
    // Some desktops bind no key to "Preferences"; Ctrl+, is the common one there.
    const QKeySequence standard(QKeySequence::Preferences);
    return standard.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Comma) : standard;
}

}  // namespace

QMenuBar *makeMenuBar(VantorelApp &app, QWidget *parent)
{
    auto *bar = new QMenuBar(parent);
    MainViewModel &model = app.viewModel();

    QMenu *application = bar->addMenu(QObject::tr("&Vantorel"));
    application->setObjectName(QStringLiteral("applicationMenu"));
    QAction *check = addAction(application, "checkForUpdates", QObject::tr("Check for Updates\u2026"));
    QObject::connect(check, &QAction::triggered, &app, [&app] {
        if (platform::Updater *updater = app.updater())
            updater->checkForUpdates();
    });
    QAction *settings = addAction(application, "settings", QObject::tr("Settings\u2026"), preferencesShortcut());
    settings->setMenuRole(QAction::PreferencesRole);
    settings->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(settings, &QAction::triggered, &app, &VantorelApp::showSettingsWindow);
    application->addSeparator();
    QAction *quit = addAction(application, "quit", QObject::tr("Quit"), QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(quit, &QAction::triggered, &app, &VantorelApp::quit);

    QMenu *file = bar->addMenu(QObject::tr("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction *download = addAction(file, "downloadLatestData", QObject::tr("Download Latest Data"),
                                  QKeySequence(Qt::CTRL | Qt::Key_R));
    // While a sync runs the model logs the request and skips it.
    QObject::connect(download, &QAction::triggered, &model, [&model] { model.sync(); });

    QMenu *view = bar->addMenu(QObject::tr("&View"));
    view->setObjectName(QStringLiteral("viewMenu"));
    bindToggle(addAction(view, "showHiddenApps", QObject::tr("Show Hidden Apps")), model,
               &MainViewModel::includeHiddenApps, &MainViewModel::setIncludeHiddenApps,
               &MainViewModel::includeHiddenAppsChanged);
    bindToggle(addAction(view, "showAppsWithoutReviews", QObject::tr("Show Apps Without Reviews")), model,
               &MainViewModel::includeAppsWithNoReviews, &MainViewModel::setIncludeAppsWithNoReviews,
               &MainViewModel::includeAppsWithNoReviewsChanged);
    view->addSeparator();

    QMenu *help = bar->addMenu(QObject::tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    QMenu *follow = help->addMenu(QObject::tr("Follow Us"));
    follow->setObjectName(QStringLiteral("followUsMenu"));
    const struct {
        const char *name;
        QString text;
        QUrl url;
    } profiles[] = {
        {"followOnInstagram", QObject::tr("on Instagram"), AppConstants::instagramUrl},
        {"followOnMastodon", QObject::tr("on Mastodon"), AppConstants::mastodonUrl},
        {"followOnThreads", QObject::tr("on Threads"), AppConstants::threadsUrl},
        {"followOnX", QObject::tr("on X (Formerly Twitter)"), AppConstants::xUrl},
    };
    for (const auto &profile : profiles) {
        QObject::connect(addAction(follow, profile.name, profile.text), &QAction::triggered, &app,
                         [url = profile.url, bar] { openLink(url, bar); });
    }
    help->addSeparator();
    // All three open the same form; nothing tells them apart.
    for (const auto &[name, text] : {std::pair{"reportIssue", QObject::tr("Report Issue\u2026")},
                                     std::pair{"requestFeature", QObject::tr("Request Feature\u2026")},
                                     std::pair{"sendFeedback", QObject::tr("Send Feedback\u2026")}}) {
        QObject::connect(addAction(help, name, text), &QAction::triggered, &app, &VantorelApp::openFeedbackWindow);
    }
    help->addSeparator();
    QObject::connect(addAction(help, "triggerWidgetUpdate", QObject::tr("Trigger Widget Update")),
                     &QAction::triggered, &app, [] { platform::widgetkit::WidgetCenter::reloadAllTimelines(); });
    help->addSeparator();
    QAction *productHelp = addAction(help, "vantorelHelp", QObject::tr("Vantorel Help"),
                                     QKeySequence(Qt::CTRL | Qt::Key_Question));
    productHelp->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(productHelp, &QAction::triggered, &app, [bar] { openLink(AppConstants::helpUrl, bar); });
    return bar;
}

}  // namespace Vantorel
