#include "FakeEmailServer.h"
#include "RawHttpServer.h"
#include "app/models/FeedbackViewModel.h"
#include "Fennick/Endpoints.h"
#include "support/TestHome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

using Vantorel::FeedbackViewModel;
using Fennick::Endpoints::Service;

namespace {
const QString token = QStringLiteral("5c3a1f0e-8d2b-4a7c-9e61-2f4b8d0c7a35");
const QString mailbox = QStringLiteral("support@example.com");

QString repeated(const QString &piece, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}
}  // namespace

class FeedbackViewModelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<fakes::FakeEmailServer> server;

    std::unique_ptr<FeedbackViewModel> makeModel()
    {
        return std::make_unique<FeedbackViewModel>(token, QStringLiteral("Vantorel"), mailbox);
    }

    // Sends and waits for the end: true for sent(), false for the alert.
    static bool sendAndWait(FeedbackViewModel &model)
    {
        QSignalSpy sent(&model, &FeedbackViewModel::sent);
        QSignalSpy idle(&model, &FeedbackViewModel::isSendingChanged);
        model.send();
        [&] {
            QTRY_COMPARE_WITH_TIMEOUT(idle.count(), 2, 10000);
            QCOMPARE(sent.isEmpty(), model.didFail());  // exactly one of the two ends
        }();
        return !sent.isEmpty();
    }

private slots:
    void init()
    {
        server = std::make_unique<fakes::FakeEmailServer>();
        Fennick::Endpoints::setBaseUrl(Service::email, server->baseUrl());
    }

    void cleanup()
    {
        server.reset();
        Fennick::Endpoints::setBaseUrl(Service::email, {});
    }

    void sendNeedsElevenUserPerceivedCharacters_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("ten letters") << repeated(QStringLiteral("a"), 10) << false;
        QTest::newRow("eleven letters") << repeated(QStringLiteral("a"), 11) << true;
        // A thumbs-up with a skin tone is two code points and four UTF-16 units.
        QTest::newRow("ten emoji") << repeated(QStringLiteral("\U0001F44D\U0001F3FD"), 10) << false;
        QTest::newRow("ten emoji and a letter") << repeated(QStringLiteral("\U0001F44D\U0001F3FD"), 10) + u'x' << true;
        QTest::newRow("ten families (joined emoji)")
            << repeated(QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"), 10) << false;
        QTest::newRow("ten letters with combining accents") << repeated(QStringLiteral("e\u0301"), 10) << false;
        QTest::newRow("eleven spaces") << repeated(QStringLiteral(" "), 11) << true;
    }

    void sendNeedsElevenUserPerceivedCharacters()
    {
        QFETCH(QString, message);
        QFETCH(bool, enabled);
        auto model = makeModel();
        QSignalSpy changed(model.get(), &FeedbackViewModel::canSendChanged);
        model->setMessage(message);
        QCOMPARE(model->canSend(), enabled);
        QCOMPARE(changed.count(), enabled ? 1 : 0);

        model->send();  // disabled: no request, no state change
        if (!enabled) {
            QVERIFY(!model->isSending());
            QTest::qWait(50);
            QVERIFY(server->requests().isEmpty());
        }
    }

    void requestCarriesTheFormAsTyped_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("textBody");

        const QString message = QStringLiteral("  The list is great \u2013 but \"slow\"\nsometimes.  ");
        QTest::newRow("nothing but the message") << QString() << QString() << message << message;
        QTest::newRow("name and address") << QStringLiteral(" Ann ") << QStringLiteral("ann@example.org") << message
                                          << QStringLiteral(" Ann  wrote:\n\n") + message;
        QTest::newRow("address that is no address")
            << QString() << QStringLiteral(" not an address ") << message << message;
        QTest::newRow("name with a format sign") << QStringLiteral("%1 100%") << QString()
                                                 << QStringLiteral("%2 eleven chars")
                                                 << QStringLiteral("%1 100% wrote:\n\n%2 eleven chars");
    }

    void requestCarriesTheFormAsTyped()
    {
        QFETCH(QString, name);
        QFETCH(QString, email);
        QFETCH(QString, message);
        QFETCH(QString, textBody);

        auto model = makeModel();
        model->setUserName(name);
        model->setUserEmail(email);
        model->setMessage(message);
        QVERIFY(sendAndWait(*model));

        const QList<fakes::EmailRequest> requests = server->requests();
        QCOMPARE(requests.size(), 1);
        const fakes::EmailRequest &request = requests.first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/email"));
        QCOMPARE(request.accept, QByteArray("application/json"));
        QCOMPARE(request.contentType, QByteArray("application/json"));
        QCOMPARE(request.token, token.toUtf8());

        QJsonParseError error;
        const QJsonObject body = QJsonDocument::fromJson(request.body, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QJsonObject expected{{QStringLiteral("From"), mailbox},
                             {QStringLiteral("To"), mailbox},
                             {QStringLiteral("Subject"), QStringLiteral("Vantorel Feedback")},
                             {QStringLiteral("TextBody"), textBody}};
        if (!email.isEmpty())
            expected.insert(QStringLiteral("ReplyTo"), email);
        QCOMPARE(body, expected);
    }

    void onlyAZeroErrorCodeNumberIsSuccess_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("success");
        QTest::newRow("200, code 0") << 200 << fakes::FakeEmailServer::successBody() << true;
        QTest::newRow("500, code 0") << 500 << QByteArray(R"({"ErrorCode":0})") << true;
        QTest::newRow("422, code 0.0") << 422 << QByteArray(R"({"ErrorCode":0.0,"Message":"x"})") << true;
        QTest::newRow("200, code 300") << 200 << QByteArray(R"({"ErrorCode":300,"Message":"Invalid email"})") << false;
        QTest::newRow("200, code \"0\"") << 200 << QByteArray(R"({"ErrorCode":"0"})") << false;
        QTest::newRow("200, code false") << 200 << QByteArray(R"({"ErrorCode":false})") << false;
        QTest::newRow("200, code null") << 200 << QByteArray(R"({"ErrorCode":null})") << false;
        QTest::newRow("200, no code") << 200 << QByteArray(R"({"Message":"OK"})") << false;
        QTest::newRow("200, array") << 200 << QByteArray(R"([{"ErrorCode":0}])") << false;
        QTest::newRow("200, truncated") << 200 << QByteArray(R"({"ErrorCode":0)") << false;
        QTest::newRow("200, HTML") << 200 << QByteArray("<html>OK</html>") << false;
        QTest::newRow("200, empty body") << 200 << QByteArray() << false;
    }

    void onlyAZeroErrorCodeNumberIsSuccess()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(bool, success);
        server->setReply(status, reply);

        auto model = makeModel();
        model->setUserName(QStringLiteral("Ann"));
        model->setUserEmail(QStringLiteral("ann@example.org"));
        model->setMessage(QStringLiteral("Eleven characters or more."));
        QCOMPARE(sendAndWait(*model), success);
        QCOMPARE(model->didFail(), !success);
        QVERIFY(!model->isSending());
        if (!success) {
            // The alert keeps what was typed, and the user may send again once it is closed.
            QCOMPARE(model->userName(), QStringLiteral("Ann"));
            QCOMPARE(model->userEmail(), QStringLiteral("ann@example.org"));
            QCOMPARE(model->message(), QStringLiteral("Eleven characters or more."));
            QVERIFY(model->canSend());
            model->setDidFail(false);
            server->setReply(200, fakes::FakeEmailServer::successBody());
            QVERIFY(sendAndWait(*model));
            QCOMPARE(server->requests().size(), 2);
        }
    }

    void withoutNetworkTheAlertShowsAndSendComesBack()
    {
        Fennick::Endpoints::setBaseUrl(Service::email, QStringLiteral("http://127.0.0.1:%1").arg(fakes::unusedPort()));
        auto model = makeModel();
        model->setMessage(QStringLiteral("Nobody is listening."));
        QVERIFY(!sendAndWait(*model));
        QVERIFY(model->didFail());
        QVERIFY(model->canSend());
        QCOMPARE(model->message(), QStringLiteral("Nobody is listening."));
    }

    void oneRequestAtATimeAndAClosedFormIsSafe()
    {
        server->hold();
        auto model = makeModel();
        model->setMessage(QStringLiteral("Held back for a while."));
        model->send();
        QVERIFY(model->isSending());
        QVERIFY(!model->canSend());
        model->send();
        QVERIFY(server->waitForRequests(1, 5000));
        QTest::qWait(100);
        QCOMPARE(server->requests().size(), 1);

        // The window closes while the request is in flight: the reply must find no model.
        model.reset();
        server->release();
        QTest::qWait(200);

        // A model made afterwards still works (the pool is not stuck).
        auto next = makeModel();
        next->setMessage(QStringLiteral("After the closed window."));
        QVERIFY(sendAndWait(*next));
    }
};

VANTOREL_TEST_MAIN(FeedbackViewModelTest)
#include "tst_feedback_view_model.moc"
