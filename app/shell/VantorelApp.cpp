#include "app/shell/VantorelApp.h"

#include "Fennick/Log.h"
#include "app/models/MainViewModel.h"
#include "app/shell/AppConstants.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/AppIcon.h"
#include "app/shell/Menus.h"
#include "app/shell/TrayItem.h"
#include "app/views/FeedbackView.h"
#include "app/views/MainWindow.h"
#include "app/views/SettingsView.h"
#include "platform/Updater.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QScreen>

namespace Vantorel {

namespace {

// The settings window's content, on the tab stored under "settingsTabSelection".
QWidget *makeSettingsView()
{
    return new SettingsView;
}

void bringToFront(QWidget *window)
{
    window->show();
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}

// A new window opens over the main window, as a dialog would, rather than wherever the window
// manager puts windows without a place; inside the main window's screen. Without a main
// window on screen the window manager decides.
void placeOverMainWindow(QWidget *window, const QWidget *mainWindow)
{
    if (!mainWindow || !mainWindow->isVisible() || mainWindow->isMinimized())
        return;
    // The size it will show with; one set already is kept.
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    QRect frame(QPoint(), window->size());
    frame.moveCenter(mainWindow->frameGeometry().center());
    if (const QScreen *screen = mainWindow->screen()) {
        const QRect area = screen->availableGeometry();
        frame.moveRight(qMin(frame.right(), area.right()));
        frame.moveBottom(qMin(frame.bottom(), area.bottom()));
        frame.moveLeft(qMax(frame.left(), area.left()));
        frame.moveTop(qMax(frame.top(), area.top()));
    }
    window->move(frame.topLeft());
}

}  // namespace

VantorelApp::VantorelApp(QObject *parent)
    : QObject(parent),
      m_delegate(new AppDelegate(this)),
      m_viewModel(std::make_unique<MainViewModel>()),
      m_trayItem(new TrayItem(this)),
      m_updater(platform::Updater::sharedUpdater())
{
    connect(m_trayItem, &TrayItem::showApplicationRequested, this, &VantorelApp::activate);
    connect(m_trayItem, &TrayItem::quitRequested, this, &VantorelApp::quit);
    if (m_updater)
        connect(m_updater, &platform::Updater::noticeRequested, this, &VantorelApp::showNotice);
    QDesktopServices::setUrlHandler(urlScheme, this, "handleUrl");
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        application->setQuitOnLastWindowClosed(m_delegate->applicationShouldTerminateAfterLastWindowClosed());
    connect(qApp, &QCoreApplication::aboutToQuit, m_delegate, &AppDelegate::applicationWillTerminate);
}

VantorelApp::~VantorelApp()
{
    QDesktopServices::unsetUrlHandler(urlScheme);
    delete m_notice;
    delete m_feedbackWindow;
    delete m_settingsWindow;
    delete m_mainWindow;
}

MainWindow *VantorelApp::mainWindow() const
{
    return m_mainWindow;
}

QWidget *VantorelApp::settingsWindow() const
{
    return m_settingsWindow;
}

FeedbackView *VantorelApp::feedbackWindow() const
{
    return m_feedbackWindow;
}

void VantorelApp::start()
{
    m_delegate->applicationWillFinishLaunching();
    m_delegate->applicationDidFinishLaunching();
    showMainWindow();
    m_started = true;
    for (const QUrl &url : std::exchange(m_pendingUrls, {}))
        route(url);
    emit started();
}

void VantorelApp::showMainWindow()
{
    if (!m_mainWindow) {
        m_mainWindow = new MainWindow(*m_viewModel);
        m_mainWindow->setWindowIcon(applicationIcon());
        m_mainWindow->setMenuBar(makeMenuBar(*this, m_mainWindow));
        connect(m_mainWindow, &MainWindow::appeared, this, &VantorelApp::onMainWindowAppeared);
        connect(m_mainWindow, &MainWindow::settingsWindowRequested, this, &VantorelApp::showSettingsWindow);
    }
    bringToFront(m_mainWindow);
}

void VantorelApp::onMainWindowAppeared()
{
    if (m_updater)
        m_updater->setAutomaticallyChecksForUpdates(true);
    m_delegate->onReceiveNotification = [model = QPointer<MainViewModel>(m_viewModel.get())] {
        if (!model || model->accountsWithApps().isEmpty())
            return;
        model->setSelectedEntry(SelectedEntry::account(model->accountsWithApps().first().account));
    };
}

void VantorelApp::showSettingsWindow()
{
    if (!m_settingsWindow) {
        m_settingsWindow = makeSettingsView();
        m_settingsWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_settingsWindow->setWindowTitle(tr("Settings"));
        m_settingsWindow->setWindowIcon(applicationIcon());
        // Its width is fixed; its height follows the content.
        m_settingsWindow->setFixedWidth(qMax(int(SettingsView::minimumViewWidth), m_settingsWindow->minimumSizeHint().width()));
        placeOverMainWindow(m_settingsWindow, m_mainWindow);
    }
    bringToFront(m_settingsWindow);
}

void VantorelApp::showFeedbackWindow()
{
    if (!m_feedbackWindow) {
        m_feedbackWindow =
            new FeedbackView(AppConstants::feedbackServerToken(), AppConstants::productName, AppConstants::supportMailbox);
        m_feedbackWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_feedbackWindow->setWindowIcon(applicationIcon());
        placeOverMainWindow(m_feedbackWindow, m_mainWindow);
    }
    bringToFront(m_feedbackWindow);
}

void VantorelApp::showNotice(const QString &title, const QString &text, const QString &details)
{
    // One notice at a time, not modal: asking again brings it to the front.
    if (!m_notice) {
        m_notice = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok);
        m_notice->setObjectName(QStringLiteral("notice"));
        m_notice->setInformativeText(details);
        m_notice->setAttribute(Qt::WA_DeleteOnClose);
    }
    bringToFront(m_notice);
}

void VantorelApp::activate()
{
    const QList<QWidget *> windows{m_settingsWindow, m_feedbackWindow, m_mainWindow};
    for (QWidget *window : windows) {
        if (window && window->isVisible())
            bringToFront(window);
    }
}

void VantorelApp::quit()
{
    QCoreApplication::quit();
}

void VantorelApp::openFeedbackWindow()
{
    const QUrl url(feedbackUrl);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void VantorelApp::handleUrl(const QUrl &url)
{
    if (!m_started) {
        m_pendingUrls.append(url);
        return;
    }
    route(url);
}

void VantorelApp::handleLaunchMessage(const QByteArray &message)
{
    const QString text = QString::fromUtf8(message).trimmed();
    if (text.isEmpty()) {
        if (m_started)
            showMainWindow();
        return;
    }
    handleUrl(QUrl(text));
}

void VantorelApp::route(const QUrl &url)
{
    if (url.scheme().compare(urlScheme, Qt::CaseInsensitive) != 0) {
        qCInfo(Fennick::Log::app(), "Ignoring the link %s", qUtf8Printable(url.toDisplayString()));
        return;
    }
    qCInfo(Fennick::Log::app(), "Opening %s", qUtf8Printable(url.toDisplayString()));
    // The host of "vantorel://SendFeedback" arrives in lower case; compare without case.
    if (url.toString().contains(QStringLiteral("SendFeedback"), Qt::CaseInsensitive))
        showFeedbackWindow();
    else
        showMainWindow();
}

}  // namespace Vantorel
