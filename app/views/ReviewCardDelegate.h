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
    // The height the row was last measured with no longer fits its content: the row needs a new
    // size hint.
    bool isMeasurementStale(const Fennick::StoreReview &review, int width, bool enableTranslation) const;
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
    };
    struct CachedLayout {
        Key key;
        std::shared_ptr<const ReviewCardLayout> layout;
    };

    Key keyFor(const Fennick::StoreReview &review, int width, bool enableTranslation) const;

    ReviewListView *m_view;
    ReviewCardControls m_controls;
    mutable QHash<platform::store::ObjectId, Measured> m_heights;
    mutable QCache<platform::store::ObjectId, CachedLayout> m_layouts;
};

}  // namespace Vantorel
