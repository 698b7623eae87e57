#include "app/views/SidebarView.h"

#include "app/models/AppVisibility.h"
#include "app/models/MainViewModel.h"
#include "app/models/SidebarModel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <cmath>

namespace Vantorel {

namespace {

bool isHeading(const QModelIndex &index)
{
    return index.data(SidebarModel::KindRole).toInt() == int(SidebarModel::RowKind::account);
}

// WCAG's relative luminance of an sRGB colour.
qreal luminance(const QColor &colour)
{
    const auto channel = [](qreal value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

qreal contrast(const QColor &a, const QColor &b)
{
    const qreal first = luminance(a);
    const qreal second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

}  // namespace

QColor SidebarView::headingColour(const QPalette &palette)
{
    // The list's text mixed towards its background, dimmed only as far as it stays readable
    // (4.5 : 1); the disabled text colour of many palettes is far too faint for that.
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const QColor background = palette.color(QPalette::Active, QPalette::Base);
    for (qreal share = 0.4; share > 0; share -= 0.05) {
        const QColor mixed = QColor::fromRgbF(text.redF() + (background.redF() - text.redF()) * share,
                                              text.greenF() + (background.greenF() - text.greenF()) * share,
                                              text.blueF() + (background.blueF() - text.blueF()) * share);
        if (contrast(mixed, background) >= 4.5)
            return mixed;
    }
    return text;
}

namespace {

// Account names as small dimmed headings with room above them; other rows as usual.
class SidebarDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QFont headingFont(const QFont &base)
    {
        QFont font = base;
        font.setBold(true);
        font.setPointSizeF(base.pointSizeF() * 0.85);
        return font;
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (isHeading(index))
            size.setHeight(QFontMetrics(headingFont(option.font)).height() + 12);
        else
            size.setHeight(qMax(size.height(), SidebarModel::decorationSize + 4));
        return size;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (!isHeading(index)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->save();
        painter->setFont(headingFont(option.font));
        painter->setPen(SidebarView::headingColour(option.palette));
        const QRect text = option.rect.adjusted(6, 0, -6, -3);
        const QString name = painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideRight, text.width());
        painter->drawText(text, Qt::AlignLeft | Qt::AlignBottom, name);
        painter->restore();
    }
};

}  // namespace

SidebarView::SidebarView(MainViewModel &viewModel, QWidget *parent)
    : QTreeView(parent), m_viewModel(viewModel), m_model(new SidebarModel(viewModel, this)),
      m_noAccounts(new QLabel(tr("No Accounts"), viewport()))
{
    setObjectName(QStringLiteral("sidebar"));
    setModel(m_model);
    setItemDelegate(new SidebarDelegate(this));
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(0);
    setUniformRowHeights(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(SidebarModel::decorationSize, SidebarModel::decorationSize));
    setFrameShape(QFrame::NoFrame);
    setMinimumWidth(minimumColumnWidth);
    setMaximumWidth(maximumColumnWidth);
    setAttribute(Qt::WA_MacShowFocusRect, false);

    m_noAccounts->setObjectName(QStringLiteral("noAccounts"));
    m_noAccounts->setAlignment(Qt::AlignCenter);
    m_noAccounts->setForegroundRole(QPalette::PlaceholderText);
    m_noAccounts->setAttribute(Qt::WA_TransparentForMouseEvents);

    // Every heading stays open: the tree has no way to fold it.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        expandAll();
        showSelectedEntry();
    });
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this] { showSelectedEntry(); });
    connect(&m_viewModel, &MainViewModel::selectedEntryChanged, this, &SidebarView::showSelectedEntry);
    connect(&m_viewModel, &MainViewModel::accountsWithAppsChanged, this, &SidebarView::updateNoAccounts);
    connect(&m_viewModel, &MainViewModel::performedInitialLoadChanged, this, &SidebarView::updateNoAccounts);
    expandAll();
    showSelectedEntry();
    updateNoAccounts();
}

QSize SidebarView::sizeHint() const
{
    return {idealColumnWidth, QTreeView::sizeHint().height()};
}

bool SidebarView::showsNoAccounts() const
{
    return !m_noAccounts->isHidden();
}

void SidebarView::updateNoAccounts()
{
    m_noAccounts->setVisible(m_viewModel.accountsWithApps().isEmpty() && m_viewModel.performedInitialLoad());
}

void SidebarView::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    m_noAccounts->setGeometry(viewport()->rect());
}

void SidebarView::showSelectedEntry()
{
    const QModelIndex row = m_viewModel.selectedEntry() ? m_model->indexOf(*m_viewModel.selectedEntry())
                                                         : QModelIndex();
    if (row == selectionModel()->currentIndex() && selectionModel()->isSelected(row))
        return;
    m_updatingSelection = true;
    if (row.isValid()) {
        selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
        scrollTo(row);
    } else {
        // The selected app may be listed no more (hidden meanwhile); the detail keeps showing it.
        selectionModel()->clearSelection();
    }
    m_updatingSelection = false;
}

void SidebarView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    if (m_updatingSelection || selected.indexes().isEmpty())
        return;
    const std::optional<SelectedEntry> entry = m_model->entry(selected.indexes().first());
    if (entry && (!m_viewModel.selectedEntry() || !(*m_viewModel.selectedEntry() == *entry)))
        m_viewModel.setSelectedEntry(entry);
}

QItemSelectionModel::SelectionFlags SidebarView::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    // A heading cannot be chosen: clicking it, or moving onto it with the keys, leaves the
    // selection (and the detail column) as it is.
    if (index.isValid() && !(index.flags() & Qt::ItemIsSelectable))
        return QItemSelectionModel::NoUpdate;
    return QTreeView::selectionCommand(index, event);
}

QMenu *SidebarView::makeContextMenu(const QModelIndex &index, QWidget *parent)
{
    const std::optional<Fennick::StoreApp> app = m_model->app(index);
    if (!app)
        return nullptr;
    auto *menu = new QMenu(parent);
    const bool hide = !app->isHidden;
    QAction *action = menu->addAction(hide ? tr("Hide App") : tr("Unhide App"));
    action->setObjectName(hide ? QStringLiteral("hideApp") : QStringLiteral("unhideApp"));
    connect(action, &QAction::triggered, &m_viewModel,
            [model = &m_viewModel, app = *app, hide] { setAppHidden(*model, app, hide); });
    return menu;
}

void SidebarView::contextMenuEvent(QContextMenuEvent *event)
{
    const bool fromKeyboard = event->reason() == QContextMenuEvent::Keyboard;
    const QModelIndex index = fromKeyboard ? currentIndex() : indexAt(viewport()->mapFromGlobal(event->globalPos()));
    QMenu *menu = makeContextMenu(index, this);
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QPoint at = fromKeyboard ? viewport()->mapToGlobal(visualRect(index).bottomLeft()) : event->globalPos();
    menu->popup(at);
}

}  // namespace Vantorel
