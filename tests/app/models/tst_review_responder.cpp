#include "Fennick/Endpoints.h"
#include "Fennick/ReviewStateTracker.h"
#include "app/ReviewFixture.h"
#include "app/models/ReviewListModel.h"
#include "app/models/ReviewResponder.h"
#include "platform/keychain/Keychain.h"
#include "support/TestHome.h"

#include "FakeConnectServer.h"
#include "FakeTranslatorServer.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

using namespace Vantorel;
using fixture::Recorder;
using fixture::Seed;
using Fennick::StoreReview;
using platform::store::ObjectId;

namespace {

// Makes every later save of a review row fail, as a full disk or a broken file would.
void refuseReviewUpdates(bool refuse)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(Fennick::PersistenceController::storePath());
        QVERIFY(db.open());
        QSqlQuery query(db);
        const QString statement = refuse ? QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON \"Review\" "
                                                          "BEGIN SELECT RAISE(ABORT, 'the disk is full'); END")
                                         : QStringLiteral("DROP TRIGGER refuse");
        QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
}

bool finishes(const std::function<bool()> &done)
{
    return QTest::qWaitFor(done, 20000);
}

QList<fixture::Recorder::Line> errorLines(const QString &category)
{
    QList<Recorder::Line> lines;
    for (const auto &line : Recorder::instance().lines()) {
        if (line.type == QtCriticalMsg && line.category == category)
            lines.append(line);
    }
    return lines;
}

const QString authenticationText =
    QStringLiteral("Unable to authenticate. Please ensure your account credentials are correct.");

}  // namespace

class ReviewResponderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<fakes::FakeConnectServer> m_server;
    fakes::FakeAccount m_key;

    // A review the fake App Store Connect knows, with a row of an account that holds `m_key`.
    struct Published {
        std::unique_ptr<fixture::ReviewStore> store;
        ObjectId id;
        std::shared_ptr<StoreReview> review;
    };
    Published publishedReview(const Seed &seed, bool withKey = true)
    {
        fakes::FakeReview remote;
        remote.id = seed.identifier;
        remote.title = seed.title;
        remote.body = seed.body;
        remote.createdDate = QStringLiteral("2024-01-02T11:19:36-07:00");
        if (seed.responseIdentifier)
            remote.response = fakes::FakeResponse{*seed.responseIdentifier, seed.responseText.value_or(QString())};
        m_server->setApps(m_key.issuerId,
                          {fakes::FakeApp{QStringLiteral("app-1"), QStringLiteral("Demo"), QStringLiteral("com.demo"),
                                          {fakes::FakeVersion{QStringLiteral("v-1"), QStringLiteral("2.1"), {remote}}}}});
        Published published;
        published.store = std::make_unique<fixture::ReviewStore>(
            withKey ? std::optional<Fennick::Credentials>(m_key.credentials()) : std::nullopt);
        published.id = published.store->add(seed);
        published.review = fixture::record(published.id);
        return published;
    }

private slots:
    void initTestCase()
    {
        platform::Keychain::useInMemoryBackendForTesting();
        Recorder::instance().install();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void init()
    {
        platform::Keychain::resetInMemoryBackendForTesting();
        m_server = std::make_unique<fakes::FakeConnectServer>();
        Fennick::Endpoints::setBaseUrl(Fennick::Endpoints::Service::connect, m_server->baseUrl());
        m_key = m_server->addAccount();
        Recorder::instance().clear();
    }

    void cleanup()
    {
        // Responders go through the event loop's deferred deletion.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void publishWritesRecordThenRowAndClosesTheEditor()
    {
        Published published = publishedReview(Seed{.identifier = QStringLiteral("r-publish")});
        ReviewListModel rows;
        QAbstractItemModelTester tester(&rows);
        rows.setReviews({published.review});
        QSignalSpy changed(&rows, &QAbstractItemModel::dataChanged);

        auto responder = ReviewResponder::create(published.review, &rows);
        responder->beginEditingResponse(QStringLiteral("WriteResponse"));
        QVERIFY(responder->showEditor());
        QCOMPARE(published.review->responseUncommitedBody(), QString());
        published.review->setResponseUncommitedBody(QStringLiteral("Thanks & welcome = \"yes\""));
        responder->publishResponse();
        QVERIFY(responder->isPublishing());
        QVERIFY(finishes([&] { return !responder->isPublishing(); }));

        QVERIFY(!responder->showEditor());
        QVERIFY(!responder->showPublishErrorAlert());
        const std::optional<fakes::FakeReview> remote = m_server->review(QStringLiteral("r-publish"));
        QVERIFY(remote && remote->response);
        QCOMPARE(remote->response->body, QStringLiteral("Thanks & welcome = \"yes\""));
        QCOMPARE(published.review->responseIdentifier(), remote->response->id);
        QCOMPARE(published.review->responseBody(), remote->response->body);
        const fixture::SavedRow row = fixture::savedRow(published.id);
        QCOMPARE(row.responseIdentifier, remote->response->id);
        QCOMPARE(row.responseText, remote->response->body);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 0);
        // Only the button sends an event (when the editor opens); publishing sends none.
        QCOMPARE(Recorder::instance().eventNames(), QStringList{QStringLiteral("WriteResponse")});
    }

    void refusedKeyLeavesDraftAndShowsTheStatusText()
    {
        Published published = publishedReview(Seed{.identifier = QStringLiteral("r-refused"),
                                                   .responseText = QStringLiteral("Old answer"),
                                                   .responseIdentifier = QStringLiteral("resp-old")});
        // A key the service does not know: every request is answered 401.
        m_server->registerKey(m_key.issuerId, m_key.keyId, m_server->addAccount().publicKeyPem);
        auto responder = ReviewResponder::create(published.review);
        responder->beginEditingResponse(QStringLiteral("EditResponse"));
        QCOMPARE(published.review->responseUncommitedBody(), QStringLiteral("Old answer"));
        published.review->setResponseUncommitedBody(QStringLiteral("New answer"));
        QSignalSpy alert(responder.get(), &ReviewResponder::showPublishErrorAlertChanged);
        responder->publishResponse();
        QVERIFY(finishes([&] { return !responder->isPublishing(); }));

        QCOMPARE(m_server->rejectedCount(), 1);
        QVERIFY(responder->showEditor());
        QCOMPARE(alert.size(), 1);
        QVERIFY(responder->showPublishErrorAlert());
        QCOMPARE(responder->publishAlertError(), authenticationText);
        QCOMPARE(published.review->responseUncommitedBody(), QStringLiteral("New answer"));
        QCOMPARE(published.review->responseBody(), QStringLiteral("Old answer"));
        QCOMPARE(fixture::savedRow(published.id).responseText, QStringLiteral("Old answer"));

        const auto events = Recorder::instance().events();
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(1).name, QStringLiteral("ErrorUpdateReviewResponse"));
        QCOMPARE(events.at(1).properties.value(QStringLiteral("message")), authenticationText);
        const auto lines = errorLines(QStringLiteral("Vantorel.model"));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().message, QStringLiteral("Could not update review response: ") + authenticationText);

        // Dismissing the alert clears its flag; the next failure raises it again.
        responder->setShowPublishErrorAlert(false);
        responder->publishResponse();
        QVERIFY(finishes([&] { return !responder->isPublishing(); }));
        QVERIFY(responder->showPublishErrorAlert());
    }

    void failedSaveAfterPublishKeepsTheShownResponse()
    {
        Published published = publishedReview(Seed{.identifier = QStringLiteral("r-save")});
        auto responder = ReviewResponder::create(published.review);
        responder->beginEditingResponse(QStringLiteral("WriteResponse"));
        published.review->setResponseUncommitedBody(QStringLiteral("Published, not saved"));
        refuseReviewUpdates(true);
        responder->publishResponse();
        QVERIFY(finishes([&] { return !responder->isPublishing(); }));
        refuseReviewUpdates(false);

        // The service has the response and the card shows it; the row could not be saved.
        QVERIFY(m_server->review(QStringLiteral("r-save"))->response);
        QCOMPARE(published.review->responseBody(), QStringLiteral("Published, not saved"));
        QCOMPARE(fixture::savedRow(published.id).responseText, std::nullopt);
        QVERIFY(responder->showEditor());
        QVERIFY(responder->showPublishErrorAlert());
        QVERIFY(!responder->publishAlertError().isEmpty());
        QCOMPARE(Recorder::instance().eventNames().last(), QStringLiteral("ErrorUpdateReviewResponse"));
        QCOMPARE(errorLines(QStringLiteral("Vantorel.model")).size(), 1);
        fixture::viewContext().rollback();
    }

    void deleteClearsRecordAndRow()
    {
        Published published = publishedReview(Seed{.identifier = QStringLiteral("r-delete"),
                                                   .responseText = QStringLiteral("Answer"),
                                                   .responseIdentifier = QStringLiteral("resp-1")});
        ReviewListModel rows;
        rows.setReviews({published.review});
        auto responder = ReviewResponder::create(published.review, &rows);
        QSignalSpy changed(responder.get(), &ReviewResponder::reviewChanged);
        responder->deleteResponse();
        QCOMPARE(Recorder::instance().eventNames(), QStringList{QStringLiteral("DeleteResponse")});
        QVERIFY(finishes([&] { return changed.size() == 1; }));

        QVERIFY(!m_server->review(QStringLiteral("r-delete"))->response);
        QCOMPARE(published.review->responseIdentifier(), std::nullopt);
        QCOMPARE(published.review->responseBody(), std::nullopt);
        const fixture::SavedRow row = fixture::savedRow(published.id);
        QCOMPARE(row.responseIdentifier, std::nullopt);
        QCOMPARE(row.responseText, std::nullopt);
        QVERIFY(!responder->showDeletionErrorAlert());
    }

    void withoutKeyNothingIsSent_data()
    {
        QTest::addColumn<bool>("publish");
        QTest::newRow("publish") << true;
        QTest::newRow("delete") << false;
    }
    void withoutKeyNothingIsSent()
    {
        QFETCH(bool, publish);
        Published published = publishedReview(Seed{.identifier = QStringLiteral("r-nokey"),
                                                   .responseText = QStringLiteral("Answer"),
                                                   .responseIdentifier = QStringLiteral("resp-1")},
                                              false);
        auto responder = ReviewResponder::create(published.review);
        if (publish) {
            responder->beginEditingResponse(QStringLiteral("EditResponse"));
            responder->publishResponse();
            QVERIFY(finishes([&] { return !responder->isPublishing(); }));
            QVERIFY(responder->showPublishErrorAlert());
            QCOMPARE(responder->publishAlertError(), QStringLiteral("Unable to obtain credentials."));
        } else {
            responder->deleteResponse();
            QVERIFY(finishes([&] { return responder->showDeletionErrorAlert(); }));
            QCOMPARE(responder->deletionAlertError(), QStringLiteral("Unable to obtain credentials."));
            const auto lines = errorLines(QStringLiteral("Vantorel.model"));
            QCOMPARE(lines.size(), 1);
            QCOMPARE(lines.first().message,
                     QStringLiteral("Could not delete review response: Unable to obtain credentials."));
            QCOMPARE(Recorder::instance().eventNames(),
                     (QStringList{QStringLiteral("DeleteResponse"), QStringLiteral("ErrorDeleteReviewResponse")}));
        }
        QCOMPARE(m_server->requestCount(), 0);
        QCOMPARE(published.review->responseIdentifier(), QStringLiteral("resp-1"));
        QCOMPARE(fixture::savedRow(published.id).responseIdentifier, QStringLiteral("resp-1"));
    }

    void unreachableServiceIsLoggedButNotReportedOrShown()
    {
        Published published = publishedReview(Seed{.identifier = QStringLiteral("r-offline"),
                                                   .responseText = QStringLiteral("Answer"),
                                                   .responseIdentifier = QStringLiteral("resp-1")});
        m_server.reset();  // nothing listens there any more: "cannot connect to host"
        auto responder = ReviewResponder::create(published.review);
        responder->deleteResponse();
        QVERIFY(finishes([&] { return !errorLines(QStringLiteral("Vantorel.model")).isEmpty(); }));
        QCOMPARE(Recorder::instance().eventNames(), QStringList{QStringLiteral("DeleteResponse")});
        // The text is not empty, so the alert still comes.
        QVERIFY(responder->showDeletionErrorAlert());
        QCOMPARE(published.review->responseIdentifier(), QStringLiteral("resp-1"));
    }

    void translateAndRevert_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<std::optional<QByteArray>>("reply");  // absent: the service's own translations
        QTest::addColumn<std::optional<QString>>("body");
        QTest::addColumn<std::optional<QString>>("title");
        using Text = std::optional<QString>;
        using Reply = std::optional<QByteArray>;
        QTest::newRow("both") << 200 << Reply()
                              << Text(fakes::FakeTranslatorServer::translated(QStringLiteral("Works\nwell"), "en"))
                              << Text(fakes::FakeTranslatorServer::translated(QStringLiteral("Great \"one\""), "en"));
        QTest::newRow("empty body, title only")
            << 200 << Reply("[{\"translations\":[{\"text\":\"\"}]},{\"translations\":[{\"text\":\"Toll\"}]}]")
            << Text() << Text(QStringLiteral("Toll"));
        QTest::newRow("one text") << 200 << Reply("[{\"translations\":[{\"text\":\"Nur Text\"}]}]")
                                  << Text(QStringLiteral("Nur Text")) << Text();
        QTest::newRow("refused") << 401 << Reply("{}") << Text() << Text();
        QTest::newRow("malformed") << 200 << Reply("[{\"translations\":") << Text() << Text();
    }
    void translateAndRevert()
    {
        QFETCH(int, status);
        QFETCH(std::optional<QByteArray>, reply);
        QFETCH(std::optional<QString>, body);
        QFETCH(std::optional<QString>, title);
        fakes::FakeTranslatorServer translator;
        translator.setAnswer(fakes::TranslatorAnswer{status, reply});
        Fennick::Endpoints::setBaseUrl(Fennick::Endpoints::Service::translator, translator.baseUrl());
        fixture::ReviewStore store;
        const ObjectId id = store.add(Seed{.title = QStringLiteral("Great \"one\""),
                                           .body = QStringLiteral("Works\nwell"),
                                           .language = QStringLiteral("de")});
        const auto review = fixture::record(id);
        auto responder = ReviewResponder::create(review);
        QSignalSpy changed(responder.get(), &ReviewResponder::reviewChanged);
        responder->translate();
        const bool succeeds = status == 200 && (!reply || reply->endsWith(']'));
        QVERIFY(finishes([&] {
            return succeeds ? changed.size() == 1 : !errorLines(QStringLiteral("Vantorel.app")).isEmpty();
        }));

        // One request for both texts, body first, into the user's language.
        const auto requests = translator.requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().rejection, QString());
        QCOMPARE(requests.first().to, QStringLiteral("en"));
        QCOMPARE(requests.first().texts, (QStringList{QStringLiteral("Works\nwell"), QStringLiteral("Great \"one\"")}));
        QCOMPARE(review->translatedBody(), body);
        QCOMPARE(review->translatedTitle(), title);
        QCOMPARE(fixture::savedRow(id).translatedBody, body);
        QCOMPARE(fixture::savedRow(id).translatedTitle, title);
        QVERIFY(!responder->showPublishErrorAlert() && !responder->showDeletionErrorAlert());
        if (!succeeds) {
            QCOMPARE(Recorder::instance().eventNames(), QStringList{QStringLiteral("ErrorTranslate")});
            QVERIFY(errorLines(QStringLiteral("Vantorel.app")).first().message.startsWith(
                QStringLiteral("Could not translate: ")));
            return;
        }

        responder->untranslate();
        QCOMPARE(review->translatedBody(), std::nullopt);
        QCOMPARE(review->translatedTitle(), std::nullopt);
        QCOMPARE(fixture::savedRow(id).translatedBody, std::nullopt);
        QCOMPARE(fixture::savedRow(id).translatedTitle, std::nullopt);
        QVERIFY(Recorder::instance().events().isEmpty());
    }

    void failedRevertIsReportedAndTheCardStillReverts()
    {
        fixture::ReviewStore store;
        const ObjectId id = store.add(Seed{.language = QStringLiteral("de"),
                                           .translatedBody = QStringLiteral("Funktioniert"),
                                           .translatedTitle = QStringLiteral("Toll")});
        const auto review = fixture::record(id);
        auto responder = ReviewResponder::create(review);
        refuseReviewUpdates(true);
        responder->untranslate();
        refuseReviewUpdates(false);
        QCOMPARE(review->translatedBody(), std::nullopt);
        QCOMPARE(fixture::savedRow(id).translatedBody, QStringLiteral("Funktioniert"));
        QCOMPARE(Recorder::instance().eventNames(), QStringList{QStringLiteral("ErrorUntranslate")});
        const auto lines = errorLines(QStringLiteral("Vantorel.app"));
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().message.startsWith(QStringLiteral("Could not untranslate: ")));
        fixture::viewContext().rollback();
    }

    void shareTextIsTheUntranslatedReview()
    {
        StoreReview::Fields fields;
        fields.app = QStringLiteral("Demo");
        fields.title = QStringLiteral("Great");
        fields.body = QStringLiteral("Works well");
        fields.rating = 4;
        fields.translatedBody = QStringLiteral("Funktioniert gut");
        fields.translatedTitle = QStringLiteral("Toll");
        StoreReview review(fields);
        QCOMPARE(ReviewResponder::shareText(review).split(QLatin1Char('\n')),
                 (QStringList{QStringLiteral("4 star review for Demo:"), QString(), QStringLiteral("Great"), QString(),
                              QStringLiteral("Works well")}));
    }

    void editingStartsFromThePublishedText()
    {
        StoreReview::Fields fields;
        fields.responseIdentifier = QStringLiteral("resp");
        StoreReview idOnly(fields);
        fields.responseBody = QStringLiteral("Published");
        StoreReview withText(fields);
        for (StoreReview *review : {&withText, &idOnly}) {
            auto shared = std::shared_ptr<StoreReview>(review, [](StoreReview *) {});
            auto responder = ReviewResponder::create(shared);
            review->setResponseUncommitedBody(QStringLiteral("left over from a cancelled edit"));
            responder->beginEditingResponse(QStringLiteral("EditResponse"));
            QCOMPARE(review->responseUncommitedBody(), review->responseBody().value_or(QString()));
            responder.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    void seenMarksReachTheStoreWhenProcessed()
    {
        fixture::ReviewStore store;
        const ObjectId fresh = store.add(Seed{.isNew = true});
        const ObjectId old = store.add(Seed{.isNew = false});
        const auto shown = fixture::record(fresh);
        ReviewResponder::markSeen(*shown);
        ReviewResponder::markSeen(*fixture::record(old));
        QCOMPARE(fixture::savedRow(fresh).isNew, true);
        Fennick::ReviewStateTracker::shared().processMarks();
        QCOMPARE(fixture::savedRow(fresh).isNew, false);
        // The shown record keeps its badge until the list is rebuilt from the store.
        QVERIFY(shown->isNew());
        QVERIFY(!fixture::record(fresh)->isNew());
    }

    void listModelRowsFollowTheirIds()
    {
        fixture::ReviewStore store;
        QList<ObjectId> ids;
        for (int i = 0; i < 4; ++i)
            ids.append(store.add(Seed{}));
        ReviewListModel rows;
        QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&rows, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&rows, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&rows, &QAbstractItemModel::dataChanged);

        ReviewList first;
        for (const ObjectId &id : ids)
            first.append(fixture::record(id));
        QCOMPARE(rows.setReviews(first), ReviewListModel::Change::inserted);
        QCOMPARE(inserted.size(), 1);  // one block
        QCOMPARE(rows.rowOf(ids.at(2)), 2);

        // The same reviews again, as a reload makes them: new records, no new layout.
        ReviewList reloaded;
        for (const ObjectId &id : ids)
            reloaded.append(fixture::record(id));
        QCOMPARE(rows.setReviews(reloaded), ReviewListModel::Change::refreshed);
        QCOMPARE(reset.size(), 0);
        QCOMPARE(rows.reviewAt(1), reloaded.at(1));

        // A card still holding a record of before the reload edits it: the shown record follows.
        first.at(1)->setTranslation(QStringLiteral("Toll"), QStringLiteral("Gut"));
        changed.clear();
        rows.recordEdited(*first.at(1));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
        QCOMPARE(changed.first().at(1).toModelIndex().row(), 1);
        QCOMPARE(reloaded.at(1)->translatedBody(), QStringLiteral("Gut"));
        QCOMPARE(rows.index(1).data().toString(), QStringLiteral("Toll"));

        // Another order is a reset, and the index follows.
        ReviewList reversed(reloaded.crbegin(), reloaded.crend());
        QCOMPARE(rows.setReviews(reversed), ReviewListModel::Change::reset);
        QCOMPARE(rows.rowOf(ids.at(0)), 3);
        QCOMPARE(rows.rowOf(ObjectId()), -1);
        QCOMPARE(rows.setReviews({}), ReviewListModel::Change::reset);
        QCOMPARE(rows.rowCount(), 0);
    }
};

VANTOREL_TEST_MAIN(ReviewResponderTest)
#include "tst_review_responder.moc"
