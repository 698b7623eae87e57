#include "platform/json/JsonDecoding.h"

#include <QTest>
#include <QtConcurrent>

using platform::json::DecodingError;
using platform::json::ObjectReader;

// Replies are read by a fast parser; what Qt's reader took before must read the same.
class JsonReaderTest : public QObject {
    Q_OBJECT
private slots:
    void unusualTextReadsAsBefore_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        QTest::newRow("member named twice: the last counts") << QByteArray(R"({"a":"1","a":"2"})") << u"2"_qs;
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF{\"a\":\"x\"}") << u"x"_qs;
        QTest::newRow("escaped key") << QByteArray(R"({"\u0061":"k"})") << u"k"_qs;
        QTest::newRow("NUL escape") << QByteArray(R"({"a":"x\u0000y"})") << QStringView(u"x\0y", 3).toString();
        QTest::newRow("surrogate pair") << QByteArray(R"({"a":"\ud83d\ude00"})") << QString::fromUtf8("😀");
        QTest::newRow("lone high surrogate") << QByteArray(R"({"a":"cut \ud83d"})") << u"cut \uFFFD"_qs;
        QTest::newRow("lone low surrogate, then a pair")
            << QByteArray(R"({"a":"\ude00\ud83d\ude00"})") << QString::fromUtf8("\uFFFD😀");
        // An escaped backslash followed by "ud83d" is text, even when a lone surrogate is mended.
        QTest::newRow("escaped backslash before u")
            << QByteArray(R"({"b":"\ud83d","a":"\\ud83d"})") << u"\\ud83d"_qs;
    }
    void unusualTextReadsAsBefore()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        QCOMPARE(ObjectReader::parse(body).requiredString(u"a"_qs), expected);
    }

    void integersAreWholeNumbersThatFit64Bits_data()
    {
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("largest") << QByteArray("9223372036854775807") << true << std::numeric_limits<qint64>::max();
        QTest::newRow("smallest") << QByteArray("-9223372036854775808") << true << std::numeric_limits<qint64>::min();
        QTest::newRow("with a zero fraction") << QByteArray("4.0") << true << qint64(4);
        QTest::newRow("exponent") << QByteArray("2e3") << true << qint64(2000);
        QTest::newRow("negative zero") << QByteArray("-0") << true << qint64(0);
        QTest::newRow("one past the largest") << QByteArray("9223372036854775808") << false << qint64(0);
        QTest::newRow("largest unsigned") << QByteArray("18446744073709551615") << false << qint64(0);
        QTest::newRow("beyond as a double") << QByteArray("1e19") << false << qint64(0);
        QTest::newRow("fraction") << QByteArray("4.5") << false << qint64(0);
    }
    void integersAreWholeNumbersThatFit64Bits()
    {
        QFETCH(QByteArray, number);
        QFETCH(bool, fits);
        QFETCH(qint64, expected);
        const ObjectReader reader = ObjectReader::parse("{\"o\":{\"n\":" + number + "}}").requiredObject(u"o"_qs);
        try {
            QCOMPARE(reader.requiredInteger(u"n"_qs), expected);
            QVERIFY(fits);
        } catch (const DecodingError &error) {
            QVERIFY2(!fits, qPrintable(error.localizedDescription()));
            QCOMPARE(error.kind(), DecodingError::Kind::typeMismatch);
            QCOMPARE(error.codingPath(), u"o.n"_qs);
        }
    }

    void brokenRepliesSayWhereTheyBreak_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("detail");
        QTest::newRow("html") << QByteArray("<html>") << u"illegal value at offset 1"_qs;
        QTest::newRow("cut short") << QByteArray(R"({"a":[{"b":1},)") << u"at offset"_qs;
        QTest::newRow("empty") << QByteArray() << u"not valid JSON"_qs;
        QTest::newRow("raw invalid UTF-8") << QByteArray("{\"a\":\"\xff\"}") << u"not valid JSON"_qs;
        QTest::newRow("number out of range") << QByteArray(R"({"a":1e400})") << u"not valid JSON"_qs;
        QTest::newRow("an array where an object belongs") << QByteArray("[{}]") << u"not a JSON object"_qs;
    }
    void brokenRepliesSayWhereTheyBreak()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, detail);
        try {
            ObjectReader::parse(body);
            QFAIL("read a broken reply");
        } catch (const DecodingError &error) {
            QCOMPARE(error.kind(), DecodingError::Kind::dataCorrupted);
            QVERIFY2(error.localizedDescription().contains(detail), qPrintable(error.localizedDescription()));
        }
    }

    // A reader keeps its reply alive: past the reader it came from, past later replies read on
    // the same thread, and on another thread.
    void readersOutliveWhatTheyCameFrom()
    {
        const ObjectReader first = ObjectReader::parse(R"({"o":{"a":"first","l":[{"a":"element"}]}})")
                                       .requiredObject(u"o"_qs);
        const auto elements = ObjectReader::parse(R"({"l":[{"a":"second"},{"a":"third"}]})")
                                  .requiredArray(u"l"_qs, [](const ObjectReader &element) { return element; });
        for (int i = 0; i < 50; ++i)
            ObjectReader::parse(R"({"x":")" + QByteArray(1000 + i, 'x') + R"("})");
        QCOMPARE(first.requiredString(u"a"_qs), u"first"_qs);
        QCOMPARE(elements.size(), 2);
        QCOMPARE(elements[1].path(), u"l[1]"_qs);
        QCOMPARE(QtConcurrent::run([&] { return elements[1].requiredString(u"a"_qs); }).result(), u"third"_qs);
        const auto nested = first.requiredArray(u"l"_qs, [](const ObjectReader &element) {
            return element.requiredString(u"a"_qs) + u' ' + element.path();
        });
        QCOMPARE(nested, QStringList{u"element o.l[0]"_qs});
    }
};

QTEST_GUILESS_MAIN(JsonReaderTest)
#include "tst_json_reader.moc"
