#pragma once

#include "Fennick/Country.h"
#include "Fennick/Credentials.h"
#include "platform/store/ObjectId.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <memory>
#include <optional>

namespace platform::store {
class Context;
template <class T>
class FetchRequest;
}  // namespace platform::store

namespace Fennick {

class ManagedReview;

// A customer review as the user interfaces show it. Made where its row was fetched, then used on
// the GUI thread; only the review card changes the observable fields, and only there.
class StoreReview : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString responseUncommitedBody READ responseUncommitedBody WRITE setResponseUncommitedBody NOTIFY
                   responseUncommitedBodyChanged)

public:
    // The constant fields and the initial observable ones, in their usual order.
    struct Fields {
        platform::store::ObjectId id;
        QString reviewIdentifier;
        QString app;
        std::optional<QString> appIdentifier;
        QString version;
        QString title;
        QString body;
        QDateTime created;
        QString nickname;
        QString territory;
        qint64 rating = 0;
        bool isNew = false;
        std::optional<QString> language;
        std::optional<QString> translatedBody;
        std::optional<QString> translatedTitle;
        std::optional<QString> responseBody;
        std::optional<QString> responseIdentifier;
    };

    explicit StoreReview(Fields fields, QObject *parent = nullptr);
    // Reads the row and the rows it points to: call it on the row's context thread.
    explicit StoreReview(const ManagedReview &review);
    // The records of the reviews `request` fetches, every one of them of the app `app`, in fetch
    // order: the fields the constructor above reads, taken straight from the rows, as a summary
    // lists thousands. Call it on the context's thread.
    static QList<std::shared_ptr<StoreReview>> ofApp(platform::store::Context &context,
                                                     const platform::store::FetchRequest<ManagedReview> &request,
                                                     const platform::store::ObjectId &app);

    const platform::store::ObjectId &id() const { return m_fields.id; }
    const QString &reviewIdentifier() const { return m_fields.reviewIdentifier; }
    const QString &app() const { return m_fields.app; }
    const std::optional<QString> &appIdentifier() const { return m_fields.appIdentifier; }
    const QString &version() const { return m_fields.version; }
    const QString &title() const { return m_fields.title; }
    const QString &body() const { return m_fields.body; }
    const QDateTime &created() const { return m_fields.created; }
    const QString &nickname() const { return m_fields.nickname; }
    const QString &territory() const { return m_fields.territory; }
    qint64 rating() const { return m_fields.rating; }
    bool isNew() const { return m_fields.isNew; }
    const std::optional<QString> &language() const { return m_fields.language; }
    // A hash of the constant fields above, for caches of what shows a record: a reload that
    // brings another title, body, rating, app name or date for a review gives another value.
    size_t fingerprint() const { return m_fingerprint; }

    const std::optional<QString> &translatedBody() const { return m_fields.translatedBody; }
    const std::optional<QString> &translatedTitle() const { return m_fields.translatedTitle; }
    const std::optional<QString> &responseBody() const { return m_fields.responseBody; }
    const std::optional<QString> &responseIdentifier() const { return m_fields.responseIdentifier; }
    const QString &responseUncommitedBody() const { return m_responseUncommitedBody; }

    void setTranslation(const std::optional<QString> &title, const std::optional<QString> &body);
    void setResponse(const std::optional<QString> &body, const std::optional<QString> &identifier);
    void setResponseUncommitedBody(const QString &text);

    const Country *country() const { return Country::forTerritory(m_fields.territory); }
    // True when the review has a language and it differs from the user's language code.
    bool isLanguageForeign() const;
    // The key of the review's account, read through the view context and the keychain on the
    // calling thread, which must be the GUI thread; prefer loadCredentials() there. Absent when
    // the review, its account or its key is gone, or the store cannot be read (logged).
    std::optional<Credentials> credentials() const;
    // The same read off the GUI thread (the rows on a background context, the keychain on a
    // pool), with the same results; the future never carries an error.
    QFuture<std::optional<Credentials>> loadCredentials() const;

    friend bool operator==(const StoreReview &a, const StoreReview &b) { return a.id() == b.id(); }

signals:
    // Sent before any observable field changes.
    void objectWillChange();
    void translationChanged();
    void responseChanged();
    void responseUncommitedBodyChanged();

private:

    Fields m_fields;
    size_t m_fingerprint = 0;
    QString m_responseUncommitedBody;
};

inline size_t qHash(const StoreReview &review, size_t seed = 0)
{
    return qHash(review.id(), seed);
}

}  // namespace Fennick
