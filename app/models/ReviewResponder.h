#pragma once

#include "Fennick/Records/StoreReview.h"

#include <QObject>
#include <QPointer>
#include <memory>

namespace Vantorel {

class ReviewListModel;

// What the review card does to one review: the response editor's state, publishing and deleting
// a response, translating and reverting, and the seen mark. Each change is written to the record
// first (the card redraws at once), then to the review's row through the view context, which is
// saved, and then announced to the list model so that the row is re-measured.
//
// Credentials are read and requests made off the GUI thread; results come back to this object
// on the GUI thread. A running operation keeps its responder alive, so it finishes writing the
// record and the row after the card is gone. Failures are reported, logged and, for publishing
// and deleting, offered as an alert; none escapes.
//
// Always owned by a std::shared_ptr made with create(); GUI thread only.
class ReviewResponder : public QObject, public std::enable_shared_from_this<ReviewResponder> {
    Q_OBJECT
    Q_PROPERTY(bool showEditor READ showEditor WRITE setShowEditor NOTIFY showEditorChanged)
    Q_PROPERTY(bool isPublishing READ isPublishing NOTIFY isPublishingChanged)
    Q_PROPERTY(bool showDeletionErrorAlert READ showDeletionErrorAlert WRITE setShowDeletionErrorAlert NOTIFY
                   showDeletionErrorAlertChanged)
    Q_PROPERTY(bool showPublishErrorAlert READ showPublishErrorAlert WRITE setShowPublishErrorAlert NOTIFY
                   showPublishErrorAlertChanged)

public:
    // `rows` is told about every change to the record (it may be null or go away).
    static std::shared_ptr<ReviewResponder> create(std::shared_ptr<Fennick::StoreReview> review,
                                                   ReviewListModel *rows = nullptr);
    ~ReviewResponder() override;

    const std::shared_ptr<Fennick::StoreReview> &review() const { return m_review; }

    bool showEditor() const { return m_showEditor; }
    void setShowEditor(bool show);
    bool isPublishing() const { return m_isPublishing; }
    bool showDeletionErrorAlert() const { return m_showDeletionErrorAlert; }
    void setShowDeletionErrorAlert(bool show);
    const QString &deletionAlertError() const { return m_deletionAlertError; }
    bool showPublishErrorAlert() const { return m_showPublishErrorAlert; }
    void setShowPublishErrorAlert(bool show);
    const QString &publishAlertError() const { return m_publishAlertError; }

    // Sends `event`, starts the draft from the published text (or empty) and opens the editor.
    void beginEditingResponse(const QString &event);
    // Publishes the draft as it is now. Closes the editor on success; leaves it open with the
    // draft otherwise.
    void publishResponse();
    void deleteResponse();
    void translate();
    void untranslate();

    // Hands a new review's id to the seen-review tracker; the record keeps its new mark.
    static void markSeen(const Fennick::StoreReview &review);
    // The review as plain text for sharing: never the translation.
    static QString shareText(const Fennick::StoreReview &review);
    // The language the translation asks for: the user's language code, empty when the locale has
    // none.
    static QString targetLanguage();

signals:
    void showEditorChanged();
    void isPublishingChanged();
    void showDeletionErrorAlertChanged();
    void showPublishErrorAlertChanged();
    // After an operation wrote the record and tried the row (also when only the save failed).
    void reviewChanged();

private:
    enum class Operation { publish, remove, translate, untranslate };

    ReviewResponder(std::shared_ptr<Fennick::StoreReview> review, ReviewListModel *rows);
    void change(bool &flag, bool value, void (ReviewResponder::*changed)());
    void setIsPublishing(bool publishing);
    void fail(Operation operation, const std::exception &error);
    void recordChanged();

    const std::shared_ptr<Fennick::StoreReview> m_review;
    QPointer<ReviewListModel> m_rows;
    bool m_showEditor = false;
    bool m_isPublishing = false;
    bool m_showDeletionErrorAlert = false;
    QString m_deletionAlertError;
    bool m_showPublishErrorAlert = false;
    QString m_publishAlertError;
};

}  // namespace Vantorel
