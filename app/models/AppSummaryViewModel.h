#pragma once

#include "Fennick/Records/StoreApp.h"
#include "app/models/AppSummarySortOrder.h"
#include "app/models/ReviewList.h"

#include <QFuture>
#include <QObject>
#include <memory>
#include <optional>

namespace Vantorel {

// The reviews of one app under the user's version, sort, star, response and search choices.
// Sort order and the seven include flags are application settings shared by every app's
// summary; the selected version and the search text belong to this model. GUI thread only.
class AppSummaryViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString search READ search WRITE setSearch NOTIFY searchChanged)

public:
    explicit AppSummaryViewModel(Fennick::StoreApp app, QObject *parent = nullptr);
    ~AppSummaryViewModel() override;

    const Fennick::StoreApp &app() const;
    const ReviewList &reviews() const;
    // True when the reviews last published are the first list of changed choices (version, sort
    // order, stars, response filters, search text); false when they reload the same choices, as
    // after a download. A list shows new choices from the top and keeps its place on a reload.
    bool reviewsFollowNewChoices() const;
    const QList<Fennick::StoreAppVersion> &versions() const;

    // Reloads 0.5 s after the last change.
    const QString &search() const;
    void setSearch(const QString &text);

    // Every setter below stores the value and reloads the reviews, also when it is unchanged.
    AppSummarySortOrder sortOrder() const;
    void setSortOrder(AppSummarySortOrder order);
    // Absent: all versions. Cleared when a version reload no longer lists it.
    const std::optional<Fennick::StoreAppVersion> &selectedVersion() const;
    void setSelectedVersion(const std::optional<Fennick::StoreAppVersion> &version);
    // `stars` is 1 to 5: "includeOneStar" ... "includeFiveStar".
    bool includesRating(int stars) const;
    void setIncludesRating(int stars, bool include);
    bool includeReviewsWithResponse() const;
    void setIncludeReviewsWithResponse(bool include);
    bool includeReviewsWithoutResponse() const;
    void setIncludeReviewsWithoutResponse(bool include);

    // The ratings whose flag is on, ascending.
    QList<int> includedRatings() const;

    // Reloads the versions, then the reviews; finishes when both are published.
    QFuture<void> loadVersions();
    QFuture<void> loadReviews();

signals:
    // Before any observable change, and when "enableTranslationSupport" changes (cards redraw).
    void objectWillChange();
    void reviewsChanged();
    void versionsChanged();
    void searchChanged();
    void sortOrderChanged();
    void selectedVersionChanged();
    void filtersChanged();

private:
    void publishVersions(QFuture<QList<Fennick::StoreAppVersion>> &result);
    void storeFilter(const QString &key, bool include);

    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace Vantorel
