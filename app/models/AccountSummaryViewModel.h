#pragma once

#include "Fennick/Account.h"
#include "app/models/ReviewList.h"

#include <QFuture>
#include <QObject>
#include <memory>

namespace Vantorel {

// The newest 100 reviews of one account, optionally narrowed by a search text. GUI thread only.
class AccountSummaryViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString search READ search WRITE setSearch NOTIFY searchChanged)

public:
    explicit AccountSummaryViewModel(std::shared_ptr<Fennick::Account> account, QObject *parent = nullptr);
    ~AccountSummaryViewModel() override;

    const Fennick::Account &account() const;
    const ReviewList &reviews() const;
    // True when the reviews last published are the first list of a changed search text; false
    // when they reload the same search, as after a download.
    bool reviewsFollowNewChoices() const;

    // Reloads 0.5 s after the last change.
    const QString &search() const;
    void setSearch(const QString &text);

    // Finishes when the list is published; never fails.
    QFuture<void> reload();

signals:
    // Before any observable change, and when "enableTranslationSupport" changes (cards redraw).
    void objectWillChange();
    void reviewsChanged();
    void searchChanged();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace Vantorel
