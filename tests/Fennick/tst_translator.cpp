#include "Fennick/Endpoints.h"
#include "Fennick/RequestError.h"
#include "Fennick/Translator.h"
#include "FakeTranslatorServer.h"
#include "platform/json/JsonDecoding.h"
#include "support/TestHome.h"

#include <memory>

using Fennick::RequestError;
using Fennick::Translator;
using fakes::FakeTranslatorServer;
using fakes::TranslatorAnswer;
namespace Endpoints = Fennick::Endpoints;

namespace {
// Runs `call` and returns the error it threw, or nothing.
std::optional<platform::Error> errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const platform::Error &error) {
        return error;
    }
    return std::nullopt;
}
}  // namespace

class TranslatorTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeTranslatorServer> server;

private slots:
    void init()
    {
        server = std::make_unique<FakeTranslatorServer>();
        Endpoints::setBaseUrl(Endpoints::Service::translator, server->baseUrl());
    }
    void cleanup()
    {
        Endpoints::setBaseUrl(Endpoints::Service::translator, {});
        server.reset();
    }

    void sendsAllTextsInOneCheckedRequest_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("to");
        QTest::newRow("body and title") << QStringList{QStringLiteral("Crashes at start"), QStringLiteral("Broken")}
                                        << QStringLiteral("de");
        QTest::newRow("nothing") << QStringList{} << QStringLiteral("de");
        QTest::newRow("quotes, breaks, other scripts")
            << QStringList{QStringLiteral("He said \"no\"\n\tthen left \\ again"),
                           QStringLiteral("\u65e5\u672c\u8a9e\u306e\u30ec\u30d3\u30e5\u30fc \U0001F389"),
                           QStringLiteral("\u0645\u0631\u062d\u0628\u0627"), QString()}
            << QStringLiteral("zh-Hans");
    }
    void sendsAllTextsInOneCheckedRequest()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, to);
        const QStringList result = Translator::translate(texts, to);

        QStringList expected;
        for (const QString &text : texts)
            expected.append(FakeTranslatorServer::translated(text, to));
        QCOMPARE(result, expected);
        const auto requests = server->requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].rejection, QString());  // headers, query and body as the service wants them
        QCOMPARE(requests[0].target, "/translate?api-version=3.0&to=" + to.toUtf8());
        QCOMPARE(requests[0].texts, texts);
        if (texts.isEmpty())
            QCOMPARE(requests[0].body, QByteArray("[]"));
    }

    void allTranslationsOfTheReplyComeBackInOrder()
    {
        TranslatorAnswer answer;
        answer.translationsPerText = 2;
        server->setAnswer(answer);
        const QString a = QStringLiteral("first"), b = QStringLiteral("second");
        const QString to = QStringLiteral("fr");
        QCOMPARE(Translator::translate({a, b}, to),
                 (QStringList{FakeTranslatorServer::translated(a, to), FakeTranslatorServer::translated(a, to, 1),
                              FakeTranslatorServer::translated(b, to), FakeTranslatorServer::translated(b, to, 1)}));

        // The count is not checked: fewer containers than texts give a shorter list.
        answer = {};
        answer.body = QByteArray(R"([{"translations":[{"text":"only one","to":"fr"}]}])");
        server->setAnswer(answer);
        QCOMPARE(Translator::translate({a, b}, to), QStringList{QStringLiteral("only one")});
        answer.body = QByteArray("[]");
        server->setAnswer(answer);
        QCOMPARE(Translator::translate({a, b}, to), QStringList());
    }

    void failuresReachTheCallerUnchanged_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");  // empty: the normal translations
        QTest::addColumn<QString>("domain");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<int>("httpStatus");  // of a RequestError, else 0

        const QString requestDomain = RequestError::errorDomain;
        const QString decodingDomain = platform::json::DecodingError::errorDomain;
        QTest::newRow("refused key") << 401 << QByteArray() << requestDomain << qint64(0) << 401;
        QTest::newRow("server error") << 500 << QByteArray("{}") << requestDomain << qint64(0) << 500;
        QTest::newRow("created is not OK") << 201 << QByteArray() << requestDomain << qint64(0) << 201;
        QTest::newRow("truncated") << 200 << QByteArray(R"([{"translations": [{"text": )") << decodingDomain
                                   << platform::json::DecodingError::readCorruptCode << 0;
        QTest::newRow("an object, not an array") << 200 << QByteArray(R"({"translations": []})") << decodingDomain
                                                 << platform::json::DecodingError::readCorruptCode << 0;
        QTest::newRow("no translations") << 200 << QByteArray(R"([{"detectedLanguage": {}}])") << decodingDomain
                                         << platform::json::DecodingError::valueNotFoundCode << 0;
        QTest::newRow("text of the wrong type") << 200 << QByteArray(R"([{"translations": [{"text": 7}]}])")
                                                << decodingDomain << platform::json::DecodingError::readCorruptCode
                                                << 0;
    }
    void failuresReachTheCallerUnchanged()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, domain);
        QFETCH(qint64, code);
        QFETCH(int, httpStatus);
        TranslatorAnswer answer;
        answer.status = status;
        if (!body.isEmpty())
            answer.body = body;
        server->setAnswer(answer);

        try {
            Translator::translate({QStringLiteral("text")}, QStringLiteral("de"));
            QFAIL("no error");
        } catch (const RequestError &error) {
            QCOMPARE(error.domain(), domain);
            QCOMPARE(error.kind(), RequestError::Kind::noSuccess);
            QCOMPARE(error.status(), httpStatus);
        } catch (const platform::Error &error) {
            QCOMPARE(error.domain(), domain);
            QCOMPARE(error.code(), code);
        }
    }

    void transportFailuresAndUnusableCodesFailWithoutAStop()
    {
        Endpoints::setBaseUrl(Endpoints::Service::translator, QStringLiteral("http://127.0.0.1:1"));
        const auto unreachable = errorOf([] { Translator::translate({QStringLiteral("x")}, QStringLiteral("de")); });
        QVERIFY(unreachable);
        QCOMPARE(unreachable->domain(), platform::UrlError::domain);
        QCOMPARE(unreachable->code(), qint64(platform::UrlError::CannotConnectToHost));

        Endpoints::setBaseUrl(Endpoints::Service::translator, server->baseUrl());
        for (const QString &code : {QString(), QStringLiteral("de&to=fr"), QStringLiteral("de#x")}) {
            const auto error = errorOf([&] { Translator::translate({QStringLiteral("x")}, code); });
            QVERIFY2(error, qPrintable(code));
            QCOMPARE(error->domain(), platform::UrlError::domain);
            QCOMPARE(error->code(), qint64(platform::UrlError::BadUrl));
        }
        QVERIFY(server->requests().isEmpty());
    }
};

VANTOREL_TEST_MAIN(TranslatorTest)
#include "tst_translator.moc"
