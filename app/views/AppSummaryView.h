#pragma once

#include "Fennick/Records/StoreApp.h"

#include <QPointer>
#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace Vantorel {

class AppSummaryViewModel;
class ReviewListView;

// The reviews of one app: a header with the version picker, the sort picker, the filter menu and
// the number of reviews, then the review cards. The search field belongs in the window's
// toolbar: the main window takes it from searchField() and places it there. Loads when shown.
class AppSummaryView : public QWidget {
    Q_OBJECT
public:
    explicit AppSummaryView(Fennick::StoreApp app, QWidget *parent = nullptr);
    // Also deletes the search field, wherever it was placed.
    ~AppSummaryView() override;

    const Fennick::StoreApp &app() const;
    AppSummaryViewModel *viewModel() const { return m_model; }
    ReviewListView *reviewList() const { return m_list; }
    // The search field, made without a parent for the window's toolbar.
    QLineEdit *searchField() const;

    QComboBox *versionPicker() const { return m_versions; }
    QComboBox *sortPicker() const { return m_sort; }
    QPushButton *filterButton() const { return m_filter; }
    QMenu *filterMenu() const { return m_filterMenu; }
    QLabel *countLabel() const { return m_count; }

    // "1 review" for one, "%n reviews" otherwise.
    static QString countText(qsizetype count);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showVersions();
    void showSortOrder();
    void showFilters();
    void showSearch();
    void showReviews();

    AppSummaryViewModel *m_model;
    QComboBox *m_versions;
    QComboBox *m_sort;
    QPushButton *m_filter;
    QMenu *m_filterMenu;
    QList<QAction *> m_starActions;
    QAction *m_withResponse;
    QAction *m_withoutResponse;
    QLabel *m_count;
    ReviewListView *m_list;
    QPointer<QLineEdit> m_search;
};

}  // namespace Vantorel
