#include "Fennick/Connect/ConnectAPI.h"
#include "Fennick/Connect/ServerRecords.h"

#include "support/TestHome.h"

#include <QJsonDocument>

using Fennick::ServerApp;
using Fennick::ServerAppResponse;
using Fennick::ServerAppReview;
using platform::json::DecodingError;
using platform::json::ObjectReader;

namespace {

QByteArray reviewJson(const QByteArray &id, const QByteArray &extra = {},
                      const QByteArray &attributes = R"("rating":4,"title":"T","body":"B",)"
                                                     R"("reviewerNickname":"n","territory":"USA",)"
                                                     R"("createdDate":"2024-02-01T10:00:00-07:00")")
{
    return R"({"type":"customerReviews","id":")" + id + R"(","attributes":{)" + attributes + "}" + extra + "}";
}

QList<ServerAppReview> decodeReviews(const QByteArray &body)
{
    return ObjectReader::parse(body).requiredArray(QStringLiteral("data"), &ServerAppReview::fromJson);
}

ServerAppResponse response(const QString &id, const QString &text)
{
    return {id, {text}};
}

}  // namespace

class ConnectRecordsTest : public QObject {
    Q_OBJECT

private slots:
    void reviewsDecodeWithAndWithoutTheirLink()
    {
        const QByteArray body = "{\"data\":[" + reviewJson("1", R"(,"relationships":{"response":{"data":{"type":"customerReviewResponses","id":"r1"},"links":{}}})")
                                + "," + reviewJson("2") + "," + reviewJson("3", R"(,"relationships":{})") + ","
                                + reviewJson("4", R"(,"relationships":{"response":{"links":{"self":"x"}}})") + ","
                                + reviewJson("5", R"(,"relationships":{"response":{"data":null}})") + ","
                                + reviewJson("6", R"(,"relationships":null,"resolvedResponse":{"id":"r6","attributes":{"responseBody":"Hi"}})")
                                + "],\"links\":{\"self\":\"x\"},\"meta\":{\"paging\":{\"total\":6}}}";
        const QList<ServerAppReview> reviews = decodeReviews(body);
        QCOMPARE(reviews.size(), 6);
        QCOMPARE(reviews[0].id, QStringLiteral("1"));
        QCOMPARE(reviews[0].attributes.rating, 4);
        QCOMPARE(reviews[0].attributes.createdDate, QStringLiteral("2024-02-01T10:00:00-07:00"));
        QCOMPARE(reviews[0].linkedResponseId(), std::optional<QString>(QStringLiteral("r1")));
        for (int index = 1; index < 6; ++index)
            QVERIFY2(!reviews[index].linkedResponseId(), qPrintable(reviews[index].id));
        QVERIFY(reviews[4].relationships && reviews[4].relationships->response);
        QVERIFY(!reviews[4].relationships->response->data);
        for (int index = 0; index < 5; ++index)
            QVERIFY(!reviews[index].resolvedResponse);
        QCOMPARE(reviews[5].resolvedResponse, std::optional<ServerAppResponse>(response("r6", "Hi")));
    }

    void otherRecordsDecodeAndIgnoreUnknownMembers()
    {
        const auto apps = ObjectReader::parse(
                              R"({"data":[{"type":"apps","id":"1","attributes":{"name":"A","bundleId":"com.a","sku":"S"},"links":{}}]})")
                              .requiredArray(QStringLiteral("data"), &ServerApp::fromJson);
        QCOMPARE(apps, QList<ServerApp>({ServerApp{QStringLiteral("1"), {QStringLiteral("A"), QStringLiteral("com.a")}}}));

        const auto versions = ObjectReader::parse(R"({"data":[{"id":"v","attributes":{"versionString":"2.0","platform":"IOS"}}]})")
                                  .requiredArray(QStringLiteral("data"), &Fennick::ServerAppVersion::fromJson);
        QCOMPARE(versions.size(), 1);
        QCOMPARE(versions[0].attributes.versionString, QStringLiteral("2.0"));
        QVERIFY(ObjectReader::parse(R"({"data":[]})").requiredArray(QStringLiteral("data"), &ServerApp::fromJson).isEmpty());
    }

    void oneBadMemberFailsTheWholeReply_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("kind");
        const QByteArray good = reviewJson("1");
        auto reply = [&good](const QByteArray &bad) { return "{\"data\":[" + good + "," + bad + "]}"; };
        const QByteArray base = R"("body":"B","reviewerNickname":"n","territory":"USA","createdDate":"d")";
        using K = DecodingError::Kind;
        QTest::newRow("title missing") << reply(reviewJson("2", {}, R"("rating":4,)" + base))
                                       << QStringLiteral("data[1].attributes.title") << int(K::keyNotFound);
        QTest::newRow("rating with a fraction") << reply(reviewJson("2", {}, R"("title":"T","rating":4.5,)" + base))
                                                << QStringLiteral("data[1].attributes.rating") << int(K::typeMismatch);
        QTest::newRow("rating as text") << reply(reviewJson("2", {}, R"("title":"T","rating":"4",)" + base))
                                        << QStringLiteral("data[1].attributes.rating") << int(K::typeMismatch);
        QTest::newRow("rating null") << reply(reviewJson("2", {}, R"("title":"T","rating":null,)" + base))
                                     << QStringLiteral("data[1].attributes.rating") << int(K::valueNotFound);
        QTest::newRow("rating true") << reply(reviewJson("2", {}, R"("title":"T","rating":true,)" + base))
                                     << QStringLiteral("data[1].attributes.rating") << int(K::typeMismatch);
        QTest::newRow("id as number") << reply(R"({"id":2,"attributes":{}})") << QStringLiteral("data[1].id")
                                      << int(K::typeMismatch);
        QTest::newRow("attributes missing") << reply(R"({"id":"2"})") << QStringLiteral("data[1].attributes")
                                            << int(K::keyNotFound);
        QTest::newRow("element not an object") << reply("\"2\"") << QStringLiteral("data[1]") << int(K::typeMismatch);
        QTest::newRow("link without id")
            << reply(reviewJson("2", R"(,"relationships":{"response":{"data":{"type":"customerReviewResponses"}}})"))
            << QStringLiteral("data[1].relationships.response.data.id") << int(K::keyNotFound);
        QTest::newRow("relationships not an object") << reply(reviewJson("2", R"(,"relationships":[])"))
                                                     << QStringLiteral("data[1].relationships") << int(K::typeMismatch);
        QTest::newRow("data missing") << QByteArray(R"({"included":[]})") << QStringLiteral("data") << int(K::keyNotFound);
        QTest::newRow("data an object") << QByteArray(R"({"data":{}})") << QStringLiteral("data") << int(K::typeMismatch);
        QTest::newRow("not JSON") << QByteArray("<html>") << QString() << int(K::dataCorrupted);
        QTest::newRow("cut short") << good.left(good.size() / 2) << QString() << int(K::dataCorrupted);
        QTest::newRow("an array") << QByteArray("[]") << QString() << int(K::dataCorrupted);
    }
    void oneBadMemberFailsTheWholeReply()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, member);
        QFETCH(int, kind);
        try {
            decodeReviews(body);
            QFAIL("decoded");
        } catch (const DecodingError &error) {
            QCOMPARE(int(error.kind()), kind);
            QCOMPARE(error.codingPath(), member);
            QCOMPARE(error.domain(), DecodingError::errorDomain);
            if (!member.isEmpty())
                QVERIFY2(error.localizedDescription().contains(u'"' + member + u'"'),
                         qPrintable(error.localizedDescription()));
        }
    }

    void appWithoutBundleIdFails()
    {
        try {
            ObjectReader::parse(R"({"data":[{"id":"1","attributes":{"name":"A"}}]})")
                .requiredArray(QStringLiteral("data"), &ServerApp::fromJson);
            QFAIL("decoded");
        } catch (const DecodingError &error) {
            QCOMPARE(error.codingPath(), QStringLiteral("data[0].attributes.bundleId"));
        }
    }

    void encodingUsesTheSameKeys()
    {
        const QList<ServerAppReview> decoded = decodeReviews(
            "{\"data\":[" + reviewJson("1", R"(,"relationships":{"response":{"data":{"id":"r1"}}})") + ","
            + reviewJson("2") + "]}");
        for (ServerAppReview review : decoded) {
            if (review.linkedResponseId())
                review.resolvedResponse = response("r1", "Thanks");
            const QJsonObject json = review.toJson();
            QCOMPARE(ServerAppReview::fromJson(ObjectReader::parse(QJsonDocument(json).toJson())), review);
            // Absent optionals are left out, not written as null.
            QCOMPARE(json.contains(QStringLiteral("relationships")), review.relationships.has_value());
            QCOMPARE(json.contains(QStringLiteral("resolvedResponse")), review.resolvedResponse.has_value());
        }
        const ServerApp app{QStringLiteral("9"), {QStringLiteral("N"), QStringLiteral("b")}};
        QCOMPARE(QJsonDocument(app.toJson()).toJson(QJsonDocument::Compact),
                 QByteArray(R"({"attributes":{"bundleId":"b","name":"N"},"id":"9"})"));
    }

    void responsesResolveToTheFirstMatch()
    {
        const QList<ServerAppReview> reviews = decodeReviews(
            "{\"data\":[" + reviewJson("1", R"(,"relationships":{"response":{"data":{"id":"r1"}}})") + ","
            + reviewJson("2") + "," + reviewJson("3", R"(,"relationships":{"response":{"data":{"id":"gone"}}})") + ","
            + reviewJson("1", R"(,"relationships":{"response":{"data":{"id":"r2"}}})") + "]}");
        const QList<ServerAppResponse> included{response("r2", "second"), response("r1", "first r1"),
                                                response("r1", "duplicate r1")};

        const auto resolved = Fennick::ConnectAPI::resolveResponses(reviews, included);
        QCOMPARE(resolved.size(), 4);
        QCOMPARE(resolved[0].resolvedResponse, std::optional(response("r1", "first r1")));
        QVERIFY(!resolved[1].resolvedResponse);
        QVERIFY(!resolved[2].resolvedResponse);
        // Same review id twice: both kept, each with its own response.
        QCOMPARE(resolved[3].id, QStringLiteral("1"));
        QCOMPARE(resolved[3].resolvedResponse, std::optional(response("r2", "second")));

        for (const ServerAppReview &review : Fennick::ConnectAPI::resolveResponses(reviews, std::nullopt))
            QVERIFY(!review.resolvedResponse);
    }
};

VANTOREL_TEST_MAIN(ConnectRecordsTest)
#include "tst_connect_records.moc"
