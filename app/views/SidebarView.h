#pragma once

#include <QTreeView>

class QLabel;
class QMenu;

namespace Vantorel {

class MainViewModel;
class SidebarModel;

// The main window's sidebar: each account as a heading with its "All Apps" row and app rows.
// The selection is MainViewModel's selectedEntry in both directions. An app row's context menu
// hides or shows the app again. "No Accounts" shows over the empty list once the first load
// is done.
class SidebarView : public QTreeView {
    Q_OBJECT
public:
    static constexpr int minimumColumnWidth = 180;
    static constexpr int idealColumnWidth = 260;
    static constexpr int maximumColumnWidth = 800;

    explicit SidebarView(MainViewModel &viewModel, QWidget *parent = nullptr);

    SidebarModel *sidebarModel() const { return m_model; }
    // The context menu of a row: "Hide App" or "Unhide App" for app rows; null for other rows.
    // The caller owns it.
    QMenu *makeContextMenu(const QModelIndex &index, QWidget *parent);
    bool showsNoAccounts() const;

    QSize sizeHint() const override;

    // The account headings' colour: dimmed text that keeps a contrast of at least 4.5 : 1
    // against the list's background.
    static QColor headingColour(const QPalette &palette);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    void showSelectedEntry();
    void updateNoAccounts();

    MainViewModel &m_viewModel;
    SidebarModel *m_model;
    QLabel *m_noAccounts;
    bool m_updatingSelection = false;
};

}  // namespace Vantorel
