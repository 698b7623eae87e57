#pragma once

#include "app/models/SelectedEntry.h"

#include <QMainWindow>
#include <QPointer>
#include <optional>

class QAction;
class QSplitter;
class QStackedWidget;

namespace Vantorel {

class BusyIndicator;
class MainViewModel;
class SidebarView;

// The main window: the sidebar and the detail column side by side. Each time the window is
// shown it runs the launch task (sidebar reload, the settings window's default tab, the
// once-a-day download). The detail column shows, in this order of precedence, "Add an
// Account…" once the first load found no accounts, the selected account's or app's summary, or
// a hint to select something.
// Its place, size, maximised state and sidebar width are kept when it closes and when the
// program quits, and come back in the next window, whole on a screen present.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    enum class DetailCase { addAccount, accountSummary, appSummary, nothingSelected };

    explicit MainWindow(MainViewModel &viewModel, QWidget *parent = nullptr);
    ~MainWindow() override;

    MainViewModel &viewModel() const { return m_viewModel; }
    SidebarView *sidebar() const { return m_sidebar; }
    QSplitter *splitter() const { return m_splitter; }
    DetailCase detailCase() const { return m_case; }
    // The summary (or hint) the detail column shows now.
    QWidget *detailView() const { return m_detail; }
    // The search field of the summary shown now, placed in the toolbar; null without one.
    QWidget *searchField() const { return m_searchField; }
    bool showsBusyIndicator() const;

signals:
    // Each time the window is shown (not when it only comes back from being minimised).
    void appeared();
    // "Add an Account…": the Accounts tab is stored as the settings window's tab; open it.
    void settingsWindowRequested();
    // The first frame painted after the sidebar's first load.
    void firstFilledFramePainted();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateDetail();
    void replaceDetail(DetailCase detailCase, QWidget *view, QWidget *searchField);
    QWidget *makeAddAccount();
    QWidget *makeHint();
    void restorePlace();
    void keepPlace() const;

    MainViewModel &m_viewModel;
    QSplitter *m_splitter;
    SidebarView *m_sidebar;
    QWidget *m_detailHolder;
    QPointer<QWidget> m_detail;
    QPointer<QWidget> m_searchField;
    QWidget *m_searchHolder;
    BusyIndicator *m_busy;
    QAction *m_busyAction = nullptr;
    DetailCase m_case = DetailCase::nothingSelected;
    std::optional<SelectedEntry> m_shownEntry;
    bool m_firstFramePending = true;
};

}  // namespace Vantorel
