#include "Fennick/LanguageDetector.h"
#include "support/TestHome.h"

#include <QtConcurrent>

using Fennick::LanguageDetector::dominantLanguage;

class LanguageDetectorTest : public QObject {
    Q_OBJECT
private slots:
    void reviewsGetTheStoredCode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("English")
            << QStringLiteral("This app is really great, I use it every day to check my reviews.")
            << QStringLiteral("en");
        QTest::newRow("German") << QStringLiteral("Diese App ist wirklich großartig, ich benutze sie jeden Tag.")
                                << QStringLiteral("de");
        QTest::newRow("French")
            << QStringLiteral("Cette application est vraiment géniale, je l'utilise tous les jours.")
            << QStringLiteral("fr");
        QTest::newRow("Japanese") << QStringLiteral("このアプリは本当に素晴らしいです。毎日使っています。")
                                  << QStringLiteral("ja");
        QTest::newRow("Simplified Chinese")
            << QStringLiteral("这个应用程序真的很好用，我每天都用它来查看评论。") << QStringLiteral("zh-Hans");
        QTest::newRow("Traditional Chinese")
            << QStringLiteral("這個應用程式真的很好用，我每天都用它來查看評論。") << QStringLiteral("zh-Hant");
        QTest::newRow("Korean") << QStringLiteral("이 앱은 정말 훌륭합니다. 매일 사용하고 있어요.")
                                << QStringLiteral("ko");
        // CLD2 says "iw" and "no"; the store keeps today's codes.
        QTest::newRow("Hebrew") << QStringLiteral("האפליקציה הזאת ממש מעולה, אני משתמש בה כל יום.")
                                << QStringLiteral("he");
        QTest::newRow("Norwegian") << QStringLiteral("Denne appen er veldig bra, jeg bruker den hver dag.")
                                   << QStringLiteral("nb");
        QTest::newRow("English after a broken surrogate")
            << (QString(QChar(0xd800)) + QStringLiteral("This app is really great, I use it every day."))
            << QStringLiteral("en");
    }

    void reviewsGetTheStoredCode()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(dominantLanguage(text), expected);
    }

    void textWithoutLanguageGivesNothing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("blank") << QStringLiteral("  \n\t ");
        QTest::newRow("digits") << QStringLiteral("1234567890 42 2024");
        QTest::newRow("punctuation and emoji") << QStringLiteral("!!! ??? 😀😀😀 ★★★★★");
    }

    void textWithoutLanguageGivesNothing()
    {
        QFETCH(QString, text);
        QCOMPARE(dominantLanguage(text), std::nullopt);
    }

    void veryLongTextIsStillRecognised()
    {
        QString text;
        for (int i = 0; i < 5000; ++i)
            text += QStringLiteral("Diese App ist wirklich großartig, ich benutze sie jeden Tag. ");
        QVERIFY(text.size() > 200000);
        QCOMPARE(dominantLanguage(text), QStringLiteral("de"));
    }

    void manyThreadsAtOnce()
    {
        const QStringList texts = {
            QStringLiteral("This app is really great, I use it every day to check my reviews."),
            QStringLiteral("這個應用程式真的很好用，我每天都用它來查看評論。")};
        const QList<QString> expected = {QStringLiteral("en"), QStringLiteral("zh-Hant")};
        QList<QFuture<bool>> futures;
        for (int t = 0; t < 8; ++t) {
            futures << QtConcurrent::run([&texts, &expected] {
                bool same = true;
                for (int i = 0; i < 200; ++i)
                    same = same && dominantLanguage(texts[i % 2]) == expected[i % 2];
                return same;
            });
        }
        for (auto &future : futures)
            QVERIFY(future.result());
    }
};

VANTOREL_TEST_MAIN(LanguageDetectorTest)
#include "tst_language_detector.moc"
