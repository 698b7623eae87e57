#include "app/models/ReviewListModel.h"

namespace Vantorel {

using Fennick::StoreReview;

ReviewListModel::ReviewListModel(QObject *parent) : QAbstractListModel(parent) {}

int ReviewListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_reviews.size());
}

QVariant ReviewListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const StoreReview &review = *m_reviews.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return review.translatedTitle().value_or(review.title());
    case ReviewRole:
        return QVariant::fromValue(const_cast<StoreReview *>(&review));
    case IdRole:
        return review.id().uriString();
    default:
        return {};
    }
}

QHash<int, QByteArray> ReviewListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(ReviewRole, "review");
    names.insert(IdRole, "reviewId");
    return names;
}

std::shared_ptr<StoreReview> ReviewListModel::reviewAt(int row) const
{
    return row >= 0 && row < m_reviews.size() ? m_reviews.at(row) : nullptr;
}

StoreReview *ReviewListModel::recordAt(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this ? reviewAt(index.row()).get() : nullptr;
}

int ReviewListModel::rowOf(const platform::store::ObjectId &id) const
{
    return m_rows.value(id, -1);
}

ReviewListModel::Change ReviewListModel::setReviews(ReviewList reviews)
{
    // Null entries would crash every reader; a list never holds them, but a caller's bug must not
    // take the window down.
    reviews.removeIf([](const std::shared_ptr<StoreReview> &review) { return !review; });

    const bool sameRows = reviews.size() == m_reviews.size()
                          && std::equal(reviews.cbegin(), reviews.cend(), m_reviews.cbegin(),
                                        [](const auto &a, const auto &b) { return a->id() == b->id(); });
    if (sameRows) {
        if (reviews.isEmpty())
            return Change::none;
        m_reviews = std::move(reviews);
        emit dataChanged(index(0), index(int(m_reviews.size()) - 1));
        return Change::refreshed;
    }
    if (m_reviews.isEmpty()) {
        beginInsertRows({}, 0, int(reviews.size()) - 1);
        m_reviews = std::move(reviews);
        rebuildIndex();
        endInsertRows();
        return Change::inserted;
    }
    beginResetModel();
    m_reviews = std::move(reviews);
    rebuildIndex();
    endResetModel();
    return Change::reset;
}

void ReviewListModel::recordEdited(const StoreReview &edited)
{
    const int row = rowOf(edited.id());
    if (row < 0)
        return;
    StoreReview &shown = *m_reviews.at(row);
    if (&shown != &edited) {
        shown.setTranslation(edited.translatedTitle(), edited.translatedBody());
        shown.setResponse(edited.responseBody(), edited.responseIdentifier());
    }
    emit dataChanged(index(row), index(row));
}

void ReviewListModel::rebuildIndex()
{
    m_rows.clear();
    m_rows.reserve(m_reviews.size());
    for (int row = 0; row < m_reviews.size(); ++row)
        m_rows.insert(m_reviews.at(row)->id(), row);  // a repeated id keeps its last row
}

}  // namespace Vantorel
