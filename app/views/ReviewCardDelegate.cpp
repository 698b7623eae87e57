#include "app/views/ReviewCardDelegate.h"

#include "Fennick/Records/StoreReview.h"
#include "app/models/ReviewListModel.h"
#include "app/views/ResponseEditorDialog.h"
#include "app/views/ReviewListView.h"
#include "app/views/ReviewView.h"

#include <QPainter>
#include <QtMath>

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
    // Everything a card shows: a reload may bring a record with another title, body or rating
    // for the same review, and a card may translate or answer its record in place.
    const size_t content = qHashMulti(review.fingerprint(), hashOf(review.translatedTitle()),
                                      hashOf(review.translatedBody()), hashOf(review.responseBody()),
                                      hashOf(review.responseIdentifier()));
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
    const auto found = m_heights.constFind(review.id());
    if (found == m_heights.cend() || !found->exact || !(found->key == key))
        m_heights.insert(review.id(), Measured{key, layout->height(), true});
    return layout;
}

bool ReviewCardDelegate::isMeasured(const StoreReview &review, int width, bool enableTranslation) const
{
    const auto found = m_heights.constFind(review.id());
    return found != m_heights.cend() && found->exact && found->key == keyFor(review, width, enableTranslation);
}

bool ReviewCardDelegate::measure(const StoreReview &review, int width, bool enableTranslation, bool keepLayout) const
{
    const Key key = keyFor(review, width, enableTranslation);
    const auto found = m_heights.constFind(review.id());
    if (found != m_heights.cend() && found->exact && found->key == key)
        return false;
    const int previous = found != m_heights.cend() && found->key == key ? found->height : -1;
    const int height = keepLayout ? layoutFor(review, width, enableTranslation)->height()
                                  : ReviewCardLayout(review, width, enableTranslation, m_controls).height();
    m_heights.insert(review.id(), Measured{key, height, true});
    return height != previous;
}

bool ReviewCardDelegate::contentChanged(const StoreReview &review, int width, bool enableTranslation) const
{
    const auto found = m_heights.constFind(review.id());
    if (found == m_heights.cend())
        return false;
    const Key key = keyFor(review, width, enableTranslation);
    if (found->key == key)
        return false;
    if (found->exact && found->key.width == width && found->key.generation == key.generation) {
        measure(review, width, enableTranslation);
        return true;
    }
    // Only estimated (or for another width): the next size hint estimates again, and the
    // background measuring gets to it.
    m_heights.remove(review.id());
    return true;
}

int ReviewCardDelegate::height(const StoreReview &review, int width, bool enableTranslation) const
{
    const Key key = keyFor(review, width, enableTranslation);
    const auto found = m_heights.constFind(review.id());
    if (found != m_heights.cend() && found->key == key)
        return found->height;
    const int estimated = estimate(review, width, enableTranslation);
    m_heights.insert(review.id(), Measured{key, estimated, false});
    return estimated;
}

int ReviewCardDelegate::estimate(const StoreReview &review, int width, bool enableTranslation) const
{
    EstimateBase &base = m_estimateBase;
    if (base.width != width || base.generation != m_controls.generation()) {
        StoreReview::Fields fields;
        fields.title = QStringLiteral("X");
        fields.responseBody = QStringLiteral("X");
        fields.responseIdentifier = QStringLiteral("X");
        const StoreReview answered(fields);
        const ReviewCardLayout withResponse(answered, width, false, m_controls);
        base.width = width;
        base.generation = m_controls.generation();
        base.responseBlock = withResponse.responseBox.height() + ReviewCardStyle::spacing;
        base.card = withResponse.height() - base.responseBlock;
        base.marker = ReviewCardStyle::lineHeight(m_controls.style().marker) + ReviewCardStyle::spacing;
        const QFontMetricsF body(m_controls.style().body);
        const QFontMetricsF title(m_controls.style().headline);
        base.bodyCharacter = body.averageCharWidth();
        base.titleCharacter = title.averageCharWidth();
        base.bodyLine = qCeil(body.height());
        base.titleLine = qCeil(title.height());
    }
    const int contentWidth = std::max(1, width - 2 * ReviewCardStyle::horizontalInset);
    const auto lines = [](const QString &text, qreal character, int lineWidth) {
        if (text.isEmpty())
            return 0;
        const int perLine = std::max(1, int(lineWidth / character));
        return int(text.size() / perLine) + 1 + int(text.count(QLatin1Char('\n')));
    };
    const int titleWidth = contentWidth - 5 * base.titleLine - ReviewCardStyle::itemSpacing;
    int height = base.card + base.bodyLine * lines(review.translatedBody().value_or(review.body()), base.bodyCharacter,
                                                   contentWidth);
    height += base.titleLine
              * std::max(0, lines(review.translatedTitle().value_or(review.title()), base.titleCharacter, titleWidth) - 1);
    if (review.translatedBody())
        height += base.marker;
    if (review.responseBody() && review.responseIdentifier())
        height += base.responseBlock
                  + base.bodyLine
                        * (lines(*review.responseBody(), base.bodyCharacter,
                                 contentWidth - 2 * ReviewCardStyle::responsePadding)
                           - 1);
    (void)enableTranslation;
    return height;
}

void ReviewCardDelegate::styleChanged()
{
    m_controls.update();
    m_heights.clear();
    m_layouts.clear();
    m_estimateBase = {};
}

QSize ReviewCardDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const StoreReview *review = m_view->reviewModel()->recordAt(index);
    if (!review)
        return {};
    const int width = m_view->cardWidth();
    return {width, height(*review, width, m_view->enableTranslation())};
}

void ReviewCardDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const StoreReview *review = m_view->reviewModel()->recordAt(index);
    if (!review)
        return;
    const auto layout = layoutFor(*review, m_view->cardWidth(), m_view->enableTranslation());
    const QRect clip = option.rect & m_view->viewport()->rect();
    layout->paint(*painter, option.rect.topLeft(), option.palette, m_controls, clip);
    if (index == m_view->currentIndex() && m_view->marksCurrentCard())
        layout->paintCurrentMark(*painter, option.rect.topLeft(), option.palette);
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
