#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <memory>

class QMessageBox;

namespace platform {
class Updater;
}

namespace Vantorel {

class AppDelegate;
class FeedbackView;
class MainViewModel;
class MainWindow;
class TrayItem;

// The application: its delegate, the one MainViewModel of the process, the status item that
// follows "showsStatusItem", the updater, and the windows (main, settings, feedback). It also
// routes "vantorel:" links, from inside the program and from later launches, which wait until
// the main window exists.
class VantorelApp : public QObject {
    Q_OBJECT
public:
    static inline const QString urlScheme = QStringLiteral("vantorel");
    static inline const QString feedbackUrl = QStringLiteral("vantorel://SendFeedback");

    explicit VantorelApp(QObject *parent = nullptr);
    ~VantorelApp() override;

    AppDelegate &delegate() const { return *m_delegate; }
    MainViewModel &viewModel() const { return *m_viewModel; }
    TrayItem &trayItem() const { return *m_trayItem; }
    // May be absent; then "Check for Updates…" does nothing.
    platform::Updater *updater() const { return m_updater; }

    // Registers the defaults, finishes launching and shows the main window; links that came
    // in before are handled after that.
    void start();

    MainWindow *mainWindow() const;
    QWidget *settingsWindow() const;
    FeedbackView *feedbackWindow() const;

    // Each shows its window (making it if needed) and brings it to the front.
    void showMainWindow();
    void showSettingsWindow();
    void showFeedbackWindow();
    // "Show Vantorel": brings the open windows to the front; opens none.
    void activate();
    void quit();

    // Opens "vantorel://SendFeedback" the way any program would; it comes back to handleUrl().
    static void openFeedbackWindow();

public slots:
    // "vantorel://SendFeedback" brings up the feedback window; other "vantorel:" links the main
    // window.
    void handleUrl(const QUrl &url);
    // What a later launch sent: its link, or nothing for a plain launch (shows the main window).
    void handleLaunchMessage(const QByteArray &message);

signals:
    // After the main window was shown and the pending links were handled.
    void started();

private:
    void onMainWindowAppeared();
    void showNotice(const QString &title, const QString &text, const QString &details);
    void route(const QUrl &url);

    AppDelegate *m_delegate;
    std::unique_ptr<MainViewModel> m_viewModel;
    TrayItem *m_trayItem;
    platform::Updater *m_updater;
    QPointer<MainWindow> m_mainWindow;
    QPointer<QWidget> m_settingsWindow;
    QPointer<FeedbackView> m_feedbackWindow;
    QPointer<QMessageBox> m_notice;
    QList<QUrl> m_pendingUrls;
    bool m_started = false;
};

}  // namespace Vantorel
