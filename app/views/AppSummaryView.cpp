#include "app/views/AppSummaryView.h"

#include "app/models/AppSummaryViewModel.h"
#include "app/views/ReviewCardLayout.h"
#include "app/views/ReviewListView.h"
#include "app/views/SummaryViewSupport.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace Vantorel {

using Fennick::StoreAppVersion;

namespace {

// A picker with its label, as a form row of 110 to 180 points; wider only where the label and
// the picker's longest choice need more, so that neither is ever cut (larger fonts, long version
// names). The window's minimum width follows.
class PickerRow : public QWidget {
public:
    PickerRow(const QString &label, QComboBox *picker, QWidget *parent) : QWidget(parent), m_picker(picker)
    {
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *text = new QLabel(label, this);
        text->setBuddy(picker);
        layout->addWidget(text);
        layout->addWidget(picker, 1);
        picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        fit();
    }

protected:
    bool event(QEvent *event) override
    {
        // Posted when the picker's choices or font change its size hint.
        if (event->type() == QEvent::LayoutRequest)
            fit();
        return QWidget::event(event);
    }

private:
    void fit()
    {
        m_picker->setMinimumWidth(m_picker->sizeHint().width());
        const int needed = std::max(110, layout()->minimumSize().width());
        setMinimumWidth(needed);
        setMaximumWidth(std::max(180, needed));
    }

    QComboBox *m_picker;
};

QWidget *labelled(const QString &label, QComboBox *control, QWidget *parent)
{
    return new PickerRow(label, control, parent);
}

}  // namespace

QString AppSummaryView::countText(qsizetype count)
{
    return count == 1 ? tr("1 review") : tr("%n reviews", nullptr, int(count));
}

AppSummaryView::AppSummaryView(Fennick::StoreApp app, QWidget *parent)
    : QWidget(parent),
      m_model(new AppSummaryViewModel(std::move(app), this)),
      m_versions(new QComboBox),
      m_sort(new QComboBox),
      m_filter(new QPushButton(tr("Filter"))),
      m_filterMenu(new QMenu(this)),
      m_count(new QLabel),
      m_list(new ReviewListView),
      m_search(SummaryViewSupport::makeSearchField())
{
    setObjectName(QStringLiteral("appSummary"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QHBoxLayout;
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    header->setContentsMargins(margin, margin, margin, margin);
    m_versions->setObjectName(QStringLiteral("versionPicker"));
    m_sort->setObjectName(QStringLiteral("sortPicker"));
    header->addWidget(labelled(tr("Version:"), m_versions, this));
    header->addWidget(labelled(tr("Sort:"), m_sort, this));
    m_filter->setObjectName(QStringLiteral("filterButton"));
    m_filter->setMaximumWidth(110);
    m_filterMenu->setObjectName(QStringLiteral("filterMenu"));
    m_filter->setMenu(m_filterMenu);
    header->addWidget(m_filter);
    header->addStretch(1);
    m_count->setObjectName(QStringLiteral("reviewCount"));
    SummaryViewSupport::useSecondaryText(*m_count);
    header->addWidget(m_count);
    layout->addLayout(header);
    layout->addWidget(SummaryViewSupport::makeDivider(this));
    layout->addWidget(m_list, 1);

    // Sort: the four orders under their plain labels.
    for (AppSummarySortOrder order : allSortOrders)
        m_sort->addItem(label(order));
    connect(m_sort, &QComboBox::activated, this,
            [this](int index) { m_model->setSortOrder(allSortOrders[std::clamp(index, 0, 3)]); });

    // Version: "All Versions", then the app's versions.
    connect(m_versions, &QComboBox::activated, this, [this](int index) {
        const QList<StoreAppVersion> &versions = m_model->versions();
        m_model->setSelectedVersion(index > 0 && index <= versions.size()
                                        ? std::optional<StoreAppVersion>(versions.at(index - 1))
                                        : std::nullopt);
    });

    // Filter: a heading that cannot be chosen, the star toggles, the response toggles.
    QAction *include = m_filterMenu->addAction(tr("Include"));
    include->setObjectName(QStringLiteral("includeHeading"));
    include->setEnabled(false);
    for (int stars = 1; stars <= 5; ++stars) {
        QAction *action = m_filterMenu->addAction(QString(stars, QChar(0x2605)));
        action->setObjectName(QStringLiteral("include%1Star").arg(stars));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, stars](bool on) { m_model->setIncludesRating(stars, on); });
        m_starActions.append(action);
    }
    m_filterMenu->addSeparator();
    m_withResponse = m_filterMenu->addAction(tr("Reviews With Response"));
    m_withResponse->setObjectName(QStringLiteral("includeWithResponse"));
    m_withResponse->setCheckable(true);
    connect(m_withResponse, &QAction::triggered, this,
            [this](bool on) { m_model->setIncludeReviewsWithResponse(on); });
    m_withoutResponse = m_filterMenu->addAction(tr("Reviews Without Response"));
    m_withoutResponse->setObjectName(QStringLiteral("includeWithoutResponse"));
    m_withoutResponse->setCheckable(true);
    connect(m_withoutResponse, &QAction::triggered, this,
            [this](bool on) { m_model->setIncludeReviewsWithoutResponse(on); });

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) { m_model->setSearch(text); });

    connect(m_model, &AppSummaryViewModel::versionsChanged, this, &AppSummaryView::showVersions);
    connect(m_model, &AppSummaryViewModel::selectedVersionChanged, this, &AppSummaryView::showVersions);
    connect(m_model, &AppSummaryViewModel::sortOrderChanged, this, &AppSummaryView::showSortOrder);
    connect(m_model, &AppSummaryViewModel::filtersChanged, this, &AppSummaryView::showFilters);
    connect(m_model, &AppSummaryViewModel::searchChanged, this, &AppSummaryView::showSearch);
    connect(m_model, &AppSummaryViewModel::reviewsChanged, this, &AppSummaryView::showReviews);
    SummaryViewSupport::redrawCardsOnChange(m_model, &AppSummaryViewModel::objectWillChange, m_list);

    showVersions();
    showSortOrder();
    showFilters();
    showSearch();
    showReviews();
}

AppSummaryView::~AppSummaryView()
{
    delete m_search.data();
}

const Fennick::StoreApp &AppSummaryView::app() const
{
    return m_model->app();
}

QLineEdit *AppSummaryView::searchField() const
{
    return m_search;
}

void AppSummaryView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Each time the view comes on screen (not when the window comes back from the task bar).
    if (!event->spontaneous())
        m_model->loadVersions();
}

void AppSummaryView::showVersions()
{
    const QSignalBlocker blocker(m_versions);
    m_versions->clear();
    m_versions->addItem(tr("All Versions"));
    int current = 0;
    const std::optional<StoreAppVersion> &selected = m_model->selectedVersion();
    const QList<StoreAppVersion> &versions = m_model->versions();
    for (int index = 0; index < versions.size(); ++index) {
        m_versions->addItem(versions.at(index).name);
        if (selected && versions.at(index) == *selected)
            current = index + 1;
    }
    // A selected version that is no longer listed (a sync removed it) is shown as no choice.
    if (selected && current == 0)
        current = -1;
    m_versions->setCurrentIndex(current);
}

void AppSummaryView::showSortOrder()
{
    const QSignalBlocker blocker(m_sort);
    m_sort->setCurrentIndex(int(m_model->sortOrder()));
}

void AppSummaryView::showFilters()
{
    for (int stars = 1; stars <= 5; ++stars)
        m_starActions.at(stars - 1)->setChecked(m_model->includesRating(stars));
    m_withResponse->setChecked(m_model->includeReviewsWithResponse());
    m_withoutResponse->setChecked(m_model->includeReviewsWithoutResponse());
}

void AppSummaryView::showSearch()
{
    if (m_search && m_search->text() != m_model->search())
        m_search->setText(m_model->search());
    // A search covers every review of the app: the version and the filters do not apply.
    const bool searching = !m_model->search().isEmpty();
    m_versions->parentWidget()->setEnabled(!searching);
    m_filter->setEnabled(!searching);
}

void AppSummaryView::showReviews()
{
    m_count->setText(countText(m_model->reviews().size()));
    m_list->setReviews(m_model->reviews(), m_model->reviewsFollowNewChoices() ? ReviewListView::Placement::fromStart
                                                                             : ReviewListView::Placement::keepPlace);
}

}  // namespace Vantorel
