#include "app/models/ReviewResponder.h"

#include "Fennick/Analytics.h"
#include "Fennick/Connect/ConnectAPI.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/RequestError.h"
#include "Fennick/ReviewStateTracker.h"
#include "Fennick/Translator.h"
#include "Fennick/WorkerPools.h"
#include "app/models/ReviewListModel.h"
#include "platform/Error.h"

#include <QCoreApplication>
#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <map>

namespace Vantorel {

using Fennick::ManagedReview;
using Fennick::RequestError;
using Fennick::StoreReview;

namespace {

// Applies `change` to the review's row in the view context. Returns false (and changes nothing)
// when the row is gone, for example deleted by a sync since the list was loaded.
bool changeRow(const platform::store::ObjectId &id, const std::function<void(ManagedReview &)> &change)
{
    auto &context = Fennick::PersistenceController::shared().container().viewContext();
    auto *row = context.existingObject<ManagedReview>(id);
    if (!row)
        return false;
    change(*row);
    return true;
}

void saveViewContext()
{
    Fennick::PersistenceController::shared().container().viewContext().save();
}

// Holds a responder by a strong reference and deletes it from the event loop, so that the last
// reference may go inside one of its own continuations.
void deleteLaterDeleter(ReviewResponder *responder)
{
    responder->deleteLater();
}

}  // namespace

std::shared_ptr<ReviewResponder> ReviewResponder::create(std::shared_ptr<StoreReview> review, ReviewListModel *rows)
{
    Q_ASSERT(review);
    return std::shared_ptr<ReviewResponder>(new ReviewResponder(std::move(review), rows), &deleteLaterDeleter);
}

ReviewResponder::ReviewResponder(std::shared_ptr<StoreReview> review, ReviewListModel *rows)
    : m_review(std::move(review)), m_rows(rows)
{
}

ReviewResponder::~ReviewResponder() = default;

void ReviewResponder::change(bool &flag, bool value, void (ReviewResponder::*changed)())
{
    if (flag == value)
        return;
    flag = value;
    emit(this->*changed)();
}

void ReviewResponder::setShowEditor(bool show)
{
    change(m_showEditor, show, &ReviewResponder::showEditorChanged);
}

void ReviewResponder::setIsPublishing(bool publishing)
{
    change(m_isPublishing, publishing, &ReviewResponder::isPublishingChanged);
}

void ReviewResponder::setShowDeletionErrorAlert(bool show)
{
    change(m_showDeletionErrorAlert, show, &ReviewResponder::showDeletionErrorAlertChanged);
}

void ReviewResponder::setShowPublishErrorAlert(bool show)
{
    change(m_showPublishErrorAlert, show, &ReviewResponder::showPublishErrorAlertChanged);
}

void ReviewResponder::beginEditingResponse(const QString &event)
{
    Fennick::TrackEvent(event);
    m_review->setResponseUncommitedBody(m_review->responseBody().value_or(QString()));
    setShowEditor(true);
}

void ReviewResponder::publishResponse()
{
    setIsPublishing(true);
    const QString text = m_review->responseUncommitedBody();
    const QString reviewIdentifier = m_review->reviewIdentifier();
    auto self = shared_from_this();
    m_review->loadCredentials()
        .then(&Fennick::WorkerPools::reviewCardRequests(),
              [text, reviewIdentifier](const std::optional<Fennick::Credentials> &credentials) {
                  if (!credentials)
                      throw RequestError::noCredentials();
                  return Fennick::ConnectAPI().publishReviewResponse(text, reviewIdentifier, *credentials);
              })
        .then(this,
              [this, self, text](const QString &responseIdentifier) {
                  m_review->setResponse(text, responseIdentifier);
                  recordChanged();
                  changeRow(m_review->id(), [&](ManagedReview &row) {
                      row.setResponseIdentifier(responseIdentifier);
                      row.setResponseText(text);
                  });
                  saveViewContext();
                  setIsPublishing(false);
                  setShowEditor(false);
              })
        .onFailed(this, [this, self](const std::exception &error) {
            fail(Operation::publish, error);
            setIsPublishing(false);
        });
}

void ReviewResponder::deleteResponse()
{
    Fennick::TrackEvent(QStringLiteral("DeleteResponse"));
    auto self = shared_from_this();
    m_review->loadCredentials()
        .then(this,
              [this](const std::optional<Fennick::Credentials> &credentials) {
                  if (!credentials)
                      throw RequestError::noCredentials();
                  const std::optional<QString> responseIdentifier = m_review->responseIdentifier();
                  if (!responseIdentifier)
                      throw RequestError::badResponse();
                  return std::make_pair(*credentials, *responseIdentifier);
              })
        .then(&Fennick::WorkerPools::reviewCardRequests(),
              [](const std::pair<Fennick::Credentials, QString> &request) {
                  Fennick::ConnectAPI().deleteReviewResponse(request.second, request.first);
              })
        .then(this,
              [this, self] {
                  m_review->setResponse(std::nullopt, std::nullopt);
                  recordChanged();
                  changeRow(m_review->id(), [](ManagedReview &row) {
                      row.setResponseIdentifier(std::nullopt);
                      row.setResponseText(std::nullopt);
                  });
                  saveViewContext();
              })
        .onFailed(this, [this, self](const std::exception &error) { fail(Operation::remove, error); });
}

QString ReviewResponder::targetLanguage()
{
    return Fennick::Translator::userLanguage();
}

void ReviewResponder::translate()
{
    const QStringList texts{m_review->body(), m_review->title()};
    const QString target = targetLanguage();
    auto self = shared_from_this();
    QtConcurrent::run(&Fennick::WorkerPools::reviewCardRequests(),
                      [texts, target] {
                          if (target.isEmpty())
                              throw platform::Error(
                                  QStringLiteral("Vantorel.Translation"), 1,
                                  QCoreApplication::translate("ReviewResponder",
                                                              "The current locale names no language to translate into."));
                          return Fennick::Translator::translate(texts, target);
                      })
        .then(this,
              [this, self](const QStringList &translated) {
                  std::optional<QString> body = m_review->translatedBody();
                  std::optional<QString> title = m_review->translatedTitle();
                  if (!translated.isEmpty() && !translated.at(0).isEmpty())
                      body = translated.at(0);
                  if (translated.size() >= 2 && !translated.at(1).isEmpty())
                      title = translated.at(1);
                  m_review->setTranslation(title, body);
                  recordChanged();
                  changeRow(m_review->id(), [&](ManagedReview &row) {
                      row.setTranslatedBody(body);
                      row.setTranslatedTitle(title);
                  });
                  saveViewContext();
              })
        .onFailed(this, [this, self](const std::exception &error) { fail(Operation::translate, error); });
}

void ReviewResponder::untranslate()
{
    m_review->setTranslation(std::nullopt, std::nullopt);
    recordChanged();
    try {
        const bool found = changeRow(m_review->id(), [](ManagedReview &row) {
            row.setTranslatedBody(std::nullopt);
            row.setTranslatedTitle(std::nullopt);
        });
        if (found)
            saveViewContext();
    } catch (const std::exception &error) {
        fail(Operation::untranslate, error);
    }
}

void ReviewResponder::markSeen(const StoreReview &review)
{
    if (review.isNew())
        Fennick::ReviewStateTracker::shared().markAsOld(review.id());
}

QString ReviewResponder::shareText(const StoreReview &review)
{
    return QString::number(review.rating()) + QStringLiteral(" star review for ") + review.app()
           + QStringLiteral(":\n\n") + review.title() + QStringLiteral("\n\n") + review.body();
}

void ReviewResponder::recordChanged()
{
    if (m_rows)
        m_rows->recordEdited(*m_review);
    emit reviewChanged();
}

void ReviewResponder::fail(Operation operation, const std::exception &error)
{
    struct Failure {
        const char *name;
        const QLoggingCategory &(*log)();
        const char *message;
    };
    static const std::map<Operation, Failure> failures = {
        {Operation::publish, {"UpdateReviewResponse", &Fennick::Log::model, "Could not update review response: %s"}},
        {Operation::remove, {"DeleteReviewResponse", &Fennick::Log::model, "Could not delete review response: %s"}},
        {Operation::translate, {"Translate", &Fennick::Log::app, "Could not translate: %s"}},
        {Operation::untranslate, {"Untranslate", &Fennick::Log::app, "Could not untranslate: %s"}},
    };
    const Failure &failure = failures.at(operation);
    const QString description = platform::Error::from(error).localizedDescription();
    Fennick::TrackError(error, QString::fromLatin1(failure.name));
    qCCritical(failure.log(), failure.message, qUtf8Printable(description));
    // Only publishing and deleting show an alert, and only with a text to show.
    if (description.isEmpty())
        return;
    if (operation == Operation::publish) {
        m_publishAlertError = description;
        setShowPublishErrorAlert(true);
    } else if (operation == Operation::remove) {
        m_deletionAlertError = description;
        setShowDeletionErrorAlert(true);
    }
}

}  // namespace Vantorel
