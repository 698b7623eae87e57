#pragma once

#include "app/models/ReviewList.h"
#include "platform/store/ObjectId.h"

#include <QHash>
#include <QElapsedTimer>
#include <QListView>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>

namespace Vantorel {

class ResponseEditorDialog;
class ReviewCardDelegate;
class ReviewListModel;
class ReviewResponder;
class ReviewView;

// A list of review cards: painted rows of variable height over a ReviewListModel, with one
// interactive card (ReviewView) opened for the row under the pointer or the current row; never a
// widget per row. It speaks in reviews and object ids, scrolls by pixels, keeps its place across a
// reload while the review at its top is still listed, hands each new review to the seen-review
// tracker whenever its card comes on screen, and presents the response editor and the card's
// alerts.
class ReviewListView : public QListView {
    Q_OBJECT
public:

    explicit ReviewListView(QWidget *parent = nullptr);
    ~ReviewListView() override;

    // Where a new list shows. `keepPlace`, for the same choices reloaded: when the list was
    // scrolled and its top review is still listed, that review stays where it was on screen.
    // `fromStart`, for a list the user chose (another filter, sort or search): from its first
    // card, whole.
    enum class Placement { keepPlace, fromStart };
    void setReviews(const ReviewList &reviews, Placement placement = Placement::keepPlace);
    ReviewListModel *reviewModel() const { return m_model; }
    ReviewCardDelegate *cardDelegate() const { return m_delegate; }

    // The width every card is laid out for: the viewport's, less room for the scroll bar when it
    // is hidden, so that its coming and going does not re-measure thousands of cards.
    int cardWidth() const;
    // "enableTranslationSupport" as read when the list was last drawn.
    bool enableTranslation() const { return m_enableTranslation; }
    // Reads the translation switch again and redraws every card.
    void refreshCards();
    // Cards are still being measured in the background (their heights are estimates so far).
    bool isMeasuring() const { return m_measurer.isActive(); }

    std::optional<platform::store::ObjectId> topReviewId() const;
    void scrollToReview(const platform::store::ObjectId &id);
    // The card's rectangle in viewport coordinates; empty when not listed or not laid out yet.
    QRect reviewRect(const platform::store::ObjectId &id) const;

    // The interactive card, when one is open.
    ReviewView *openCard() const;
    // The one responder of a record while anyone holds it.
    std::shared_ptr<ReviewResponder> responderFor(const std::shared_ptr<Fennick::StoreReview> &review);
    ResponseEditorDialog *editorDialog() const;
    // The current card is marked while the keyboard focus is in the list or in that card.
    bool marksCurrentCard() const;

    // Called with a review each time its card comes on screen; by default ReviewResponder::markSeen.
    using SeenHandler = std::function<void(const Fennick::StoreReview &)>;
    void setSeenHandler(SeenHandler handler);

protected:
    void doItemsLayout() override;
    void updateGeometries() override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Anchor {
        platform::store::ObjectId id;
        int offset = 0;  // how far the card's top lies above the viewport's top
    };
    std::optional<Anchor> topAnchor() const;
    // The first row on screen; -1 when none is laid out there.
    int firstVisibleRow() const;
    bool restoreAnchor(const Anchor &anchor);
    void openCardAt(const QModelIndex &index);
    void placeCardInTabOrder();
    void updateCurrentMark();
    void reopenCardUnderPointer();
    void checkSeen();
    bool readEnableTranslation() const;
    // True when the switch changed since it was last read.
    bool rereadTranslationSwitch();
    void refreshOpenCard();
    void editorChanged(ReviewResponder *responder);
    // Makes the review's card the current one and gives the list the keyboard focus.
    void focusCard(const platform::store::ObjectId &id);
    // Measures the cards that the viewport shows (from `row`, its top `top` pixels from the
    // viewport's top); true when a height changed.
    bool measureScreen(int row, int top);
    void measureSome();

    ReviewListModel *m_model;
    ReviewCardDelegate *m_delegate;
    bool m_enableTranslation = false;
    QPersistentModelIndex m_cardIndex;
    QHash<const Fennick::StoreReview *, std::weak_ptr<ReviewResponder>> m_responders;
    QPointer<ResponseEditorDialog> m_editor;
    SeenHandler m_seen;
    QSet<platform::store::ObjectId> m_onScreen;
    QTimer m_seenCheck;
    std::optional<Anchor> m_pendingAnchor;
    bool m_inLayout = false;
    // Background measuring: every card gets its exact height a slice at a time; until then its
    // size hint is an estimate.
    QTimer m_measurer;
    int m_measureCursor = 0;
    std::tuple<int, bool, int> m_measureKey{-1, false, -1};
    bool m_layoutStale = false;
    QElapsedTimer m_sinceLayout;
};

}  // namespace Vantorel
