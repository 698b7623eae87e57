#include "app/views/ReviewListView.h"
#include "app/models/SettingsKeys.h"

#include "Fennick/Records/StoreReview.h"
#include "app/models/ReviewListModel.h"
#include "app/models/ReviewResponder.h"
#include "app/views/ResponseEditorDialog.h"
#include "app/views/ReviewCardDelegate.h"
#include "app/views/ReviewView.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QScrollBar>

namespace Vantorel {

using Fennick::StoreReview;
using platform::store::ObjectId;

namespace {
// Cards are never shorter than this; it bounds how many rows one screen can show.
constexpr int smallestCard = 80;
}  // namespace

ReviewListView::ReviewListView(QWidget *parent)
    : QListView(parent),
      m_model(new ReviewListModel(this)),
      m_delegate(new ReviewCardDelegate(this)),
      m_seen(&ReviewResponder::markSeen)
{
    setObjectName(QStringLiteral("reviewList"));
    m_enableTranslation = readEnableTranslation();
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(40);
    setWordWrap(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(false);
    // One pass over every row, which is cheap: rows not measured yet have an estimated height,
    // the cards on screen are measured before each layout, the rest in the background.
    setLayoutMode(QListView::SinglePass);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    setItemDelegate(m_delegate);
    setModel(m_model);

    connect(this, &QAbstractItemView::entered, this, &ReviewListView::openCardAt);
    // The current card's mark follows the keyboard focus into the card's buttons and out.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        if ((old && (old == this || isAncestorOf(old))) || (now && (now == this || isAncestorOf(now))))
            updateCurrentMark();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, &ReviewListView::reopenCardUnderPointer,
            Qt::QueuedConnection);
    // New rows, or new heights for all: measure everything again (measured cards are skipped).
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_measureCursor = 0; });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { m_measureCursor = 0; });

    m_seenCheck.setSingleShot(true);
    m_seenCheck.setInterval(0);
    connect(&m_seenCheck, &QTimer::timeout, this, &ReviewListView::checkSeen);
    m_measurer.setInterval(0);
    connect(&m_measurer, &QTimer::timeout, this, &ReviewListView::measureSome);
    m_sinceLayout.start();
}

ReviewListView::~ReviewListView() = default;

bool ReviewListView::readEnableTranslation() const
{
    return platform::UserDefaults::standard().boolValue(SettingsKey::enableTranslationSupport);
}

int ReviewListView::cardWidth() const
{
    int width = viewport()->width();
    if (!verticalScrollBar()->isVisibleTo(this) && !style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this))
        width -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    return std::max(width, 1);
}

void ReviewListView::setReviews(const ReviewList &reviews, Placement placement)
{
    // From the start, the first card is the anchor at the viewport's top: the layout measures
    // from there and leaves no offset of the list shown before.
    std::optional<Anchor> anchor;
    if (placement == Placement::keepPlace)
        anchor = topAnchor();
    else if (!reviews.isEmpty() && reviews.first())
        anchor = Anchor{reviews.first()->id(), 0};
    m_delegate->reserve(reviews.size());
    const ReviewListModel::Change change = m_model->setReviews(reviews);
    if (change == ReviewListModel::Change::reset || change == ReviewListModel::Change::inserted) {
        m_pendingAnchor = anchor;
        // Lay out now, so that the list is back in place before it is painted.
        executeDelayedItemsLayout();
    } else if (placement == Placement::fromStart) {
        verticalScrollBar()->setValue(0);
    }
    m_seenCheck.start();
}

bool ReviewListView::rereadTranslationSwitch()
{
    const bool value = readEnableTranslation();
    if (value == m_enableTranslation)
        return false;
    m_enableTranslation = value;
    // The buttons may change the action row's height where they barely fit.
    scheduleDelayedItemsLayout();
    return true;
}

void ReviewListView::refreshOpenCard()
{
    if (ReviewView *card = openCard()) {
        m_delegate->setEditorData(card, m_cardIndex);
        // Its buttons may have changed (a response published, a translation).
        placeCardInTabOrder();
    }
}

void ReviewListView::refreshCards()
{
    rereadTranslationSwitch();
    refreshOpenCard();
    viewport()->update();
}

std::optional<ReviewListView::Anchor> ReviewListView::topAnchor() const
{
    // At the very top the list stays at the top, so that new reviews there are seen.
    if (verticalScrollBar()->value() <= 0)
        return std::nullopt;
    const int row = firstVisibleRow();
    if (row < 0)
        return std::nullopt;
    return Anchor{m_model->reviewAt(row)->id(), -visualRect(m_model->index(row)).top()};
}

int ReviewListView::firstVisibleRow() const
{
    // A binary search over the rows' rectangles (which exist for every row laid out so far): rows
    // above the viewport come first, then the visible ones, then any not laid out yet.
    int low = 0;
    int high = m_model->rowCount() - 1;
    int found = -1;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        const QRect rect = visualRect(m_model->index(middle));
        if (!rect.isValid() || rect.bottom() >= 0) {
            if (rect.isValid())
                found = middle;
            high = middle - 1;
        } else {
            low = middle + 1;
        }
    }
    return found;
}

bool ReviewListView::restoreAnchor(const Anchor &anchor)
{
    const int row = m_model->rowOf(anchor.id);
    if (row < 0)
        return true;  // the review is gone: nothing to hold on to
    const QRect rect = visualRect(m_model->index(row));
    if (!rect.isValid())
        return false;  // not laid out yet
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->value() + rect.top() + anchor.offset);
    return true;
}

std::optional<ObjectId> ReviewListView::topReviewId() const
{
    const int row = firstVisibleRow();
    return row < 0 ? std::nullopt : std::optional<ObjectId>(m_model->reviewAt(row)->id());
}

void ReviewListView::scrollToReview(const ObjectId &id)
{
    const int row = m_model->rowOf(id);
    if (row < 0)
        return;
    if (!restoreAnchor(Anchor{id, 0}))
        m_pendingAnchor = Anchor{id, 0};
}

QRect ReviewListView::reviewRect(const ObjectId &id) const
{
    const int row = m_model->rowOf(id);
    return row < 0 ? QRect() : visualRect(m_model->index(row));
}

bool ReviewListView::measureScreen(int row, int top)
{
    const int width = cardWidth();
    bool changed = false;
    const int height = viewport()->height();
    for (; row >= 0 && row < m_model->rowCount() && top < height; ++row) {
        const StoreReview &review = *m_model->reviewAt(row);
        changed |= m_delegate->measure(review, width, m_enableTranslation, true);
        top += m_delegate->height(review, width, m_enableTranslation);
    }
    return changed;
}

void ReviewListView::doItemsLayout()
{
    if (m_inLayout) {
        QListView::doItemsLayout();
        return;
    }
    m_inLayout = true;
    const auto measureKey = std::make_tuple(cardWidth(), m_enableTranslation, m_delegate->controls().generation());
    if (measureKey != m_measureKey) {
        m_measureKey = measureKey;
        m_measureCursor = 0;
    }
    // Every layout starts over from the top. The card at the top of the viewport stays where it
    // is on screen, so that a reload, a resize or a changed card does not move what the reader
    // looks at; the cards from there down one screen are measured first.
    std::optional<Anchor> anchor = m_pendingAnchor ? m_pendingAnchor : topAnchor();
    m_pendingAnchor.reset();
    const int anchorRow = anchor ? m_model->rowOf(anchor->id) : -1;
    if (anchorRow >= 0)
        measureScreen(anchorRow, -anchor->offset);
    else
        measureScreen(0, -verticalScrollBar()->value());
    QListView::doItemsLayout();
    if (anchorRow >= 0)
        restoreAnchor(*anchor);
    m_inLayout = false;
    m_layoutStale = false;
    m_sinceLayout.restart();
    if (m_measureCursor < m_model->rowCount())
        m_measurer.start();
}

void ReviewListView::measureSome()
{
    // A slice of a few milliseconds per turn of the event loop; a new layout at most a few times a
    // second while estimates are replaced, and once at the end.
    QElapsedTimer slice;
    slice.start();
    const int width = cardWidth();
    const int count = m_model->rowCount();
    while (m_measureCursor < count && slice.elapsed() < 4)
        m_layoutStale |= m_delegate->measure(*m_model->reviewAt(m_measureCursor++), width, m_enableTranslation);
    const bool done = m_measureCursor >= count;
    if (done)
        m_measurer.stop();
    if (m_layoutStale && (done || m_sinceLayout.elapsed() > 150))
        scheduleDelayedItemsLayout();
}

void ReviewListView::updateGeometries()
{
    QListView::updateGeometries();
    m_seenCheck.start();
}

void ReviewListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QListView::currentChanged(current, previous);
    if (current.isValid())
        openCardAt(current);
    updateCurrentMark();
}

bool ReviewListView::marksCurrentCard() const
{
    if (!currentIndex().isValid())
        return false;
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

void ReviewListView::updateCurrentMark()
{
    if (currentIndex().isValid())
        viewport()->update(visualRect(currentIndex()));
    if (ReviewView *card = openCard())
        card->setMarked(m_cardIndex == currentIndex() && marksCurrentCard());
}

bool ReviewListView::focusNextPrevChild(bool next)
{
    // Tab from the list goes to the current card's buttons, also when the pointer has opened
    // another card meanwhile.
    if (next && hasFocus() && currentIndex().isValid() && m_cardIndex != currentIndex())
        openCardAt(currentIndex());
    return QListView::focusNextPrevChild(next);
}

void ReviewListView::placeCardInTabOrder()
{
    // Right after the list, left to right, so that Tab leaves the last button for whatever
    // follows the list.
    ReviewView *card = openCard();
    if (!card)
        return;
    QWidget *previous = this;
    for (QWidget *stop : card->tabStops()) {
        QWidget::setTabOrder(previous, stop);
        previous = stop;
    }
}

void ReviewListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    QListView::dataChanged(topLeft, bottomRight, roles);
    // A changed record (a response published, a translation) may change its card's height. A
    // reload that brings the same reviews changes nothing here, also for cards not measured yet.
    const int width = cardWidth();
    bool changed = false;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        if (const StoreReview *review = m_model->reviewAt(row).get())
            changed |= m_delegate->contentChanged(*review, width, m_enableTranslation);
    }
    if (changed)
        scheduleDelayedItemsLayout();
    if (m_cardIndex.isValid() && m_cardIndex.row() >= topLeft.row() && m_cardIndex.row() <= bottomRight.row())
        refreshOpenCard();
}

void ReviewListView::paintEvent(QPaintEvent *event)
{
    // Cards read the translation switch each time they are drawn.
    if (rereadTranslationSwitch())
        refreshOpenCard();
    QListView::paintEvent(event);
}

void ReviewListView::changeEvent(QEvent *event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_delegate->styleChanged();
        scheduleDelayedItemsLayout();
        refreshOpenCard();
    }
}

void ReviewListView::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    m_seenCheck.start();
}

void ReviewListView::hideEvent(QHideEvent *event)
{
    QListView::hideEvent(event);
    // Shown again later, every card on screen comes on screen again.
    m_onScreen.clear();
}

void ReviewListView::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    // Scrolled where estimates still stand: measure what shows and lay out again before painting.
    if (!m_inLayout && dy != 0) {
        const int row = firstVisibleRow();
        if (row >= 0 && measureScreen(row, visualRect(m_model->index(row)).top())) {
            scheduleDelayedItemsLayout();
            executeDelayedItemsLayout();
        }
    }
    m_seenCheck.start();
}

ResponseEditorDialog *ReviewListView::editorDialog() const
{
    return m_editor;
}

ReviewView *ReviewListView::openCard() const
{
    return m_cardIndex.isValid() ? qobject_cast<ReviewView *>(indexWidget(m_cardIndex)) : nullptr;
}

void ReviewListView::openCardAt(const QModelIndex &index)
{
    if (index == m_cardIndex && openCard())
        return;
    if (m_cardIndex.isValid()) {
        // A closing card hands a focus it holds back to the list, not to whatever comes next.
        if (ReviewView *card = openCard(); card && card->isAncestorOf(QApplication::focusWidget()))
            setFocus(Qt::OtherFocusReason);
        closePersistentEditor(m_cardIndex);
    }
    m_cardIndex = index;
    if (index.isValid()) {
        openPersistentEditor(index);
        placeCardInTabOrder();
    }
    updateCurrentMark();
}

void ReviewListView::reopenCardUnderPointer()
{
    const QPoint position = viewport()->mapFromGlobal(QCursor::pos());
    if (underMouse() && viewport()->rect().contains(position))
        openCardAt(indexAt(position));
}

void ReviewListView::setSeenHandler(SeenHandler handler)
{
    m_seen = std::move(handler);
}

void ReviewListView::checkSeen()
{
    if (!isVisible() || !m_seen)
        return;
    QSet<ObjectId> onScreen;
    const int height = viewport()->height();
    const int first = firstVisibleRow();
    for (int row = std::max(first, 0); first >= 0 && row < m_model->rowCount(); ++row) {
        const QRect rect = visualRect(m_model->index(row));
        if (!rect.isValid() || rect.top() >= height)
            break;
        const std::shared_ptr<StoreReview> review = m_model->reviewAt(row);
        onScreen.insert(review->id());
        if (!m_onScreen.contains(review->id()))
            m_seen(*review);
    }
    m_onScreen = std::move(onScreen);
}

std::shared_ptr<ReviewResponder> ReviewListView::responderFor(const std::shared_ptr<StoreReview> &review)
{
    if (!review)
        return nullptr;
    std::weak_ptr<ReviewResponder> &known = m_responders[review.get()];
    if (std::shared_ptr<ReviewResponder> responder = known.lock())
        return responder;
    std::shared_ptr<ReviewResponder> responder = ReviewResponder::create(review, m_model);
    known = responder;
    ReviewResponder *raw = responder.get();
    connect(raw, &ReviewResponder::showEditorChanged, this, [this, raw] { editorChanged(raw); });
    connect(raw, &ReviewResponder::showDeletionErrorAlertChanged, this, [this, raw] {
        if (!raw->showDeletionErrorAlert())
            return;
        std::weak_ptr<ReviewResponder> weak = raw->shared_from_this();
        showReviewAlert(this, raw->deletionAlertError(), [this, weak] {
            if (auto strong = weak.lock()) {
                strong->setShowDeletionErrorAlert(false);
                focusCard(strong->review()->id());
            }
        });
    });
    // The sheet shows its own alert; this one is for a publish that fails after it was closed.
    connect(raw, &ReviewResponder::showPublishErrorAlertChanged, this, [this, raw] {
        if (!raw->showPublishErrorAlert() || (m_editor && m_editor->responder() == raw))
            return;
        std::weak_ptr<ReviewResponder> weak = raw->shared_from_this();
        showReviewAlert(this, raw->publishAlertError(), [this, weak] {
            if (auto strong = weak.lock()) {
                strong->setShowPublishErrorAlert(false);
                focusCard(strong->review()->id());
            }
        });
    });

    if (m_responders.size() > 64)
        m_responders.removeIf([](const auto &entry) { return entry.value().expired(); });
    return responder;
}

void ReviewListView::focusCard(const ObjectId &id)
{
    // The alert is gone; the focus would go back to the button that sent the failed request,
    // where a space typed next sends it again.
    const int row = m_model->rowOf(id);
    if (row >= 0)
        setCurrentIndex(m_model->index(row));
    setFocus(Qt::OtherFocusReason);
}

void ReviewListView::editorChanged(ReviewResponder *responder)
{
    if (responder->showEditor()) {
        if (m_editor && m_editor->responder() == responder)
            return;
        if (m_editor)
            m_editor->close();
        m_editor = new ResponseEditorDialog(responder->shared_from_this(), this);
        m_editor->open();
    } else if (m_editor && m_editor->responder() == responder) {
        m_editor->close();
    }
}

}  // namespace Vantorel
