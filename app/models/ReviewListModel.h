#pragma once

#include "app/models/ReviewList.h"

#include <QAbstractListModel>
#include <QHash>

namespace Vantorel {

// The rows of a review list: shared review records plus an index from object id to row. The
// model makes no connection per record; whoever edits a record tells the model through
// recordEdited(), which repaints (and re-measures) that one row. GUI thread only.
class ReviewListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        // The record as a Fennick::StoreReview *, valid while the row exists.
        ReviewRole = Qt::UserRole + 1,
        // The record's object URI.
        IdRole,
    };

    explicit ReviewListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const ReviewList &reviews() const { return m_reviews; }
    std::shared_ptr<Fennick::StoreReview> reviewAt(int row) const;
    Fennick::StoreReview *recordAt(const QModelIndex &index) const;
    // -1 when no row shows that review.
    int rowOf(const platform::store::ObjectId &id) const;

    enum class Change { none, refreshed, inserted, reset };
    // Replaces the rows. The same reviews in the same order only swap records (one dataChanged,
    // the view keeps its layout and scroll position); rows into an empty model arrive as one
    // insert block; anything else is one reset.
    Change setReviews(ReviewList reviews);

    // A card changed the observable fields of `edited`. When the row now holds another record of
    // the same review (the list was reloaded meanwhile), that record takes the new values too, so
    // the change is not lost until the next load.
    void recordEdited(const Fennick::StoreReview &edited);

private:
    void rebuildIndex();

    ReviewList m_reviews;
    QHash<platform::store::ObjectId, int> m_rows;
};

}  // namespace Vantorel
