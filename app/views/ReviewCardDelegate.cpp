#include "app/views/ReviewCardDelegate.h"

#include "Fennick/Records/StoreReview.h"
#include "app/models/ReviewListModel.h"
#include "app/views/ResponseEditorDialog.h"
#include "app/views/ReviewListView.h"
#include "app/views/ReviewView.h"

#include <QPainter>

namespace Vantorel {

using Fennick::StoreReview;

namespace {

// Cards whose full layout is kept: a few screens' worth.
constexpr int keptLayouts = 96;

size_t hashOf(const std::optional<QString> &text)
{
    return text ? qHash(*text) + 1 : 0;
}

}  // namespace

ReviewCardDelegate::ReviewCardDelegate(ReviewListView *view)
    : QAbstractItemDelegate(view), m_view(view), m_controls(view), m_layouts(keptLayouts)
{
}

ReviewCardDelegate::~ReviewCardDelegate() = default;

ReviewCardDelegate::Key ReviewCardDelegate::keyFor(const StoreReview &review, int width, bool enableTranslation) const
{
    // Only the observable fields change after a record is made.
    const size_t content = qHashMulti(0, hashOf(review.translatedTitle()), hashOf(review.translatedBody()),
                                      hashOf(review.responseBody()), hashOf(review.responseIdentifier()));
    return Key{width, enableTranslation, content, m_controls.generation()};
}

std::shared_ptr<const ReviewCardLayout> ReviewCardDelegate::layoutFor(const StoreReview &review, int width,
                                                                      bool enableTranslation) const
{
    const Key key = keyFor(review, width, enableTranslation);
    if (const CachedLayout *cached = m_layouts.object(review.id()); cached && cached->key == key)
        return cached->layout;
    auto layout = std::make_shared<const ReviewCardLayout>(review, width, enableTranslation, m_controls);
    m_layouts.insert(review.id(), new CachedLayout{key, layout});
    m_heights.insert(review.id(), Measured{key, layout->height()});
    return layout;
}

bool ReviewCardDelegate::isMeasurementStale(const StoreReview &review, int width, bool enableTranslation) const
{
    const auto found = m_heights.constFind(review.id());
    return found == m_heights.cend() || !(found->key == keyFor(review, width, enableTranslation));
}

void ReviewCardDelegate::styleChanged()
{
    m_controls.update();
    m_heights.clear();
    m_layouts.clear();
}

QSize ReviewCardDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const StoreReview *review = m_view->reviewModel()->recordAt(index);
    if (!review)
        return {};
    const int width = m_view->cardWidth();
    const bool enableTranslation = m_view->enableTranslation();
    const Key key = keyFor(*review, width, enableTranslation);
    const auto found = m_heights.constFind(review->id());
    if (found != m_heights.cend() && found->key == key)
        return {width, found->height};
    // Measured, not kept: a first layout asks for every row, and the full layouts are wanted
    // only for the rows that get painted.
    const ReviewCardLayout layout(*review, width, enableTranslation, m_controls);
    m_heights.insert(review->id(), Measured{key, layout.height()});
    return {width, layout.height()};
}

void ReviewCardDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const StoreReview *review = m_view->reviewModel()->recordAt(index);
    if (!review)
        return;
    const auto layout = layoutFor(*review, m_view->cardWidth(), m_view->enableTranslation());
    const QRect clip = option.rect & m_view->viewport()->rect();
    layout->paint(*painter, option.rect.topLeft(), option.palette, m_controls, clip);
}

QWidget *ReviewCardDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    return new ReviewView(*this, parent);
}

void ReviewCardDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *card = qobject_cast<ReviewView *>(editor);
    const std::shared_ptr<StoreReview> review = m_view->reviewModel()->reviewAt(index.row());
    if (!card || !review)
        return;
    card->setReview(review, m_view->responderFor(review), m_view->cardWidth(), m_view->enableTranslation());
}

void ReviewCardDelegate::setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const
{
    // The card writes through its responder, never through the item model.
}

void ReviewCardDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                              const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}

}  // namespace Vantorel
