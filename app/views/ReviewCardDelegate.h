#pragma once

#include "app/views/ReviewCardLayout.h"
#include "platform/store/ObjectId.h"

#include <QAbstractItemDelegate>
#include <QCache>
#include <QHash>

namespace Vantorel {

class ReviewListView;

// Measures and paints the review cards of a ReviewListView, and makes the one interactive card
// (ReviewView) that the list opens as a persistent editor. Heights are kept per review for the
// current width and content, so that laying out thousands of rows again is a lookup; full layouts
// only for about the rows on screen.
class ReviewCardDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    explicit ReviewCardDelegate(ReviewListView *view);
    ~ReviewCardDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

    const ReviewCardControls &controls() const { return m_controls; }
    // The layout of a card (shared with the painted row).
    std::shared_ptr<const ReviewCardLayout> layoutFor(const Fennick::StoreReview &review, int width,
                                                      bool enableTranslation) const;
    // A row's size hint is its exact height once measured, and an estimate from the lengths of
    // its texts until then (measuring lays out every text; the list measures in the background).
    bool isMeasured(const Fennick::StoreReview &review, int width, bool enableTranslation) const;
    // Measures a row; true when that changes the height its last size hint gave.
    // With `keepLayout` the layout is kept for painting (for cards about to be shown).
    bool measure(const Fennick::StoreReview &review, int width, bool enableTranslation,
                 bool keepLayout = false) const;
    int height(const Fennick::StoreReview &review, int width, bool enableTranslation) const;
    // The record's content (texts a reload brought, a translation, a response) differs from what
    // its height was found for: the old height is dropped, and an exactly measured card is
    // measured again. True when the row's height may have changed.
    bool contentChanged(const Fennick::StoreReview &review, int width, bool enableTranslation) const;
    void reserve(qsizetype rows) const { m_heights.reserve(rows); }
    // The font or style changed: every measurement goes.
    void styleChanged();

private:
    struct Key {
        int width = 0;
        bool enableTranslation = false;
        size_t content = 0;
        int generation = 0;
        friend bool operator==(const Key &, const Key &) = default;
    };
    struct Measured {
        Key key;
        int height = 0;
        bool exact = false;
    };
    // The parts of an estimate that do not depend on the texts, for one width and style.
    struct EstimateBase {
        int width = -1;
        int generation = -1;
        int card = 0;  // a card with one-line title, empty body and no response
        int responseBlock = 0;
        int marker = 0;
        qreal bodyCharacter = 0, titleCharacter = 0;
        int bodyLine = 0, titleLine = 0;
    };
    int estimate(const Fennick::StoreReview &review, int width, bool enableTranslation) const;
    struct CachedLayout {
        Key key;
        std::shared_ptr<const ReviewCardLayout> layout;
    };

    Key keyFor(const Fennick::StoreReview &review, int width, bool enableTranslation) const;

    ReviewListView *m_view;
    ReviewCardControls m_controls;
    mutable QHash<platform::store::ObjectId, Measured> m_heights;
    mutable QCache<platform::store::ObjectId, CachedLayout> m_layouts;
    mutable EstimateBase m_estimateBase;
};

}  // namespace Vantorel
