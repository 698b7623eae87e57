#include "platform/Error.h"
#include "platform/jwt/Es256.h"

#include "TestCrypto.h"
#include "support/TestHome.h"

#include <QRegularExpression>
#include <QtConcurrent>

#include <numeric>

namespace {

QByteArray base64UrlDecode(const QByteArray &text)
{
    return QByteArray::fromBase64(text, QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

}  // namespace

class Es256Test : public QObject {
    Q_OBJECT

private slots:
    void tokensVerifyIndependently_data()
    {
        QTest::addColumn<int>("form");
        QTest::newRow("PKCS#8 (.p8 files)") << int(fakes::PemForm::pkcs8);
        QTest::newRow("SEC1 EC PRIVATE KEY") << int(fakes::PemForm::sec1);
    }
    void tokensVerifyIndependently()
    {
        QFETCH(int, form);
        const fakes::KeyPair keys = fakes::generateKeyPair(fakes::KeyKind::p256, fakes::PemForm(form));
        const QJsonObject claims{{QStringLiteral("iss"), QStringLiteral("issuer")}, {QStringLiteral("iat"), 1700000000}};
        // Many tokens, so that an r or s with leading zero bytes is met and must still be 32 bytes.
        for (int round = 0; round < 64; ++round) {
            const QString token =
                platform::jwt::signCompact({{QStringLiteral("kid"), QStringLiteral("K1")}}, claims, keys.privatePem);
            QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]+\\.[A-Za-z0-9_-]+\\.[A-Za-z0-9_-]{86}$"))
                        .match(token)
                        .hasMatch());
            const auto decoded = fakes::decodeToken(token.toLatin1());
            QVERIFY(decoded);
            QCOMPARE(decoded->header.value(QStringLiteral("alg")).toString(), QStringLiteral("ES256"));
            QCOMPARE(decoded->header.value(QStringLiteral("kid")).toString(), QStringLiteral("K1"));
            QCOMPARE(decoded->claims, claims);
            QVERIFY(fakes::verifyEs256(keys.publicPem, decoded->signingInput, decoded->signature));
        }
    }

    void signatureCoversTheInputAndTheKey()
    {
        const fakes::KeyPair keys = fakes::generateKeyPair();
        const fakes::KeyPair other = fakes::generateKeyPair();
        const platform::jwt::Es256Signer signer(keys.privatePem);
        const QByteArray signature = signer.sign("header.claims");
        QCOMPARE(signature.size(), 64);
        QVERIFY(fakes::verifyEs256(keys.publicPem, "header.claims", signature));
        QVERIFY(!fakes::verifyEs256(keys.publicPem, "header.claimz", signature));
        QVERIFY(!fakes::verifyEs256(other.publicPem, "header.claims", signature));
    }

    void unreadableKeysAreNeverKept()
    {
        using platform::jwt::Es256Signer;
        const QByteArray bad = fakes::generateKeyPair(fakes::KeyKind::p384).privatePem;
        const int before = Es256Signer::keptKeyCount();
        QVERIFY(before < Es256Signer::keptKeyLimit);  // else a kept bad key would push out another
        for (int round = 0; round < 2; ++round) {
            try {
                platform::jwt::signCompact({}, {}, bad);
                QFAIL("a P-384 key signed a token");
            } catch (const platform::Error &error) {
                QCOMPARE(error.code(), qint64(platform::jwt::InvalidPrivateKey));
            }
        }
        QCOMPARE(Es256Signer::keptKeyCount(), before);
    }

    void keptKeysSignOnlyForTheirOwnKey()
    {
        using platform::jwt::Es256Signer;
        // More keys than are kept, used round and round from many threads: every token must
        // verify with its own key, whatever was kept or dropped meanwhile.
        QList<fakes::KeyPair> keys;
        for (int index = 0; index < Es256Signer::keptKeyLimit + 4; ++index)
            keys.append(fakes::generateKeyPair(fakes::KeyKind::p256, index % 2 ? fakes::PemForm::pkcs8 : fakes::PemForm::sec1));
        const QList<fakes::KeyPair> &allKeys = keys;
        QList<int> jobs(8 * allKeys.size());
        std::iota(jobs.begin(), jobs.end(), 0);
        QThreadPool pool;
        pool.setMaxThreadCount(8);
        const QList<int> wrong = QtConcurrent::blockingMapped(&pool, jobs, [&](int job) -> int {
            const fakes::KeyPair &own = allKeys[job % allKeys.size()];
            const fakes::KeyPair &other = allKeys[(job + 1) % allKeys.size()];
            const auto token = fakes::decodeToken(platform::jwt::signCompact({}, {{QStringLiteral("n"), job}}, own.privatePem).toLatin1());
            return !token || !fakes::verifyEs256(own.publicPem, token->signingInput, token->signature)
                   || fakes::verifyEs256(other.publicPem, token->signingInput, token->signature);
        });
        QCOMPARE(std::accumulate(wrong.begin(), wrong.end(), 0), 0);
        QVERIFY(Es256Signer::keptKeyCount() <= Es256Signer::keptKeyLimit);

        // Equal bytes in another array find the kept key; another key does not.
        const QByteArray pem = keys.last().privatePem;
        const auto kept = Es256Signer::forKey(pem);
        QCOMPARE(Es256Signer::forKey(QByteArray(pem.constData(), pem.size())).get(), kept.get());
        QVERIFY(Es256Signer::forKey(keys.first().privatePem).get() != kept.get());
        // Kept keys sign afresh each time.
        QVERIFY(kept->sign("input") != kept->sign("input"));
    }

    void base64UrlHasNoPaddingOrPlainAlphabet()
    {
        const QByteArray bytes("\xfb\xff\xfe", 3);
        QCOMPARE(platform::jwt::base64Url(bytes), QByteArray("-__-"));
        QCOMPARE(platform::jwt::base64Url("ab"), QByteArray("YWI"));
        QCOMPARE(base64UrlDecode(platform::jwt::base64Url(bytes)), bytes);
    }

    void badKeysFailClearly_data()
    {
        QTest::addColumn<QByteArray>("pem");
        QTest::addColumn<QString>("mentions");
        const fakes::KeyPair p256 = fakes::generateKeyPair();
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("not PEM") << QByteArray("just some text\n") << QStringLiteral("PEM private key (error:");
        QTest::newRow("cut short") << p256.privatePem.left(p256.privatePem.size() / 2) << QString();
        QTest::newRow("public key only") << p256.publicPem << QString();
        QTest::newRow("pass-phrase protected") << fakes::encryptedPem(p256.privatePem, "secret") << QString();
        QTest::newRow("P-384") << fakes::generateKeyPair(fakes::KeyKind::p384).privatePem << QStringLiteral("P-256");
        QTest::newRow("RSA") << fakes::generateKeyPair(fakes::KeyKind::rsa).privatePem << QStringLiteral("P-256");
    }
    void badKeysFailClearly()
    {
        QFETCH(QByteArray, pem);
        QFETCH(QString, mentions);
        try {
            platform::jwt::signCompact({}, {}, pem);
            QFAIL("a bad key signed a token");
        } catch (const platform::Error &error) {
            QCOMPARE(error.domain(), platform::jwt::errorDomain);
            QCOMPARE(error.code(), qint64(platform::jwt::InvalidPrivateKey));
            QVERIFY(!error.localizedDescription().isEmpty());
            if (!mentions.isEmpty())
                QVERIFY2(error.localizedDescription().contains(mentions), qPrintable(error.localizedDescription()));
            // No key bytes in the text.
            QVERIFY(!error.localizedDescription().contains(QStringLiteral("BEGIN")));
        }
    }
};

VANTOREL_TEST_MAIN(Es256Test)
#include "tst_es256.moc"
