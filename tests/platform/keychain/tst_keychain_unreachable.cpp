#include "platform/keychain/Keychain.h"
#include "support/TestHome.h"

#include <QTemporaryDir>
#include <QtConcurrent>

using platform::Error;
using platform::Keychain;
namespace KeychainError = platform::KeychainError;

class KeychainUnreachableTest : public QObject {
    Q_OBJECT
private slots:
    // Before any D-Bus use in this process: the session bus is a socket that does not exist.
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(m_dir.filePath(QStringLiteral("no-bus"))));
    }

    void writeFailsWithTheServiceMessage()
    {
        const Keychain keychain(QStringLiteral("com.Vantorel.Vantorel"));
        try {
            keychain.setText(QStringLiteral("issuer.x"), QStringLiteral("value"));
            QFAIL("a write without a Secret Service succeeded");
        } catch (const Error &error) {
            QCOMPARE(error.domain(), KeychainError::domain);
            QCOMPARE(error.code(), qint64(KeychainError::ServiceUnavailable));
            QVERIFY2(error.localizedDescription().startsWith(
                         QStringLiteral("The Secret Service is not reachable: ")),
                     qPrintable(error.localizedDescription()));
            qInfo() << "write failed with:" << error.localizedDescription();
        }
    }

    void readFailsRatherThanReportingMissing()
    {
        const Keychain keychain(QStringLiteral("com.Vantorel.Vantorel"));
        QVERIFY_THROWS_EXCEPTION(Error, keychain.data(QStringLiteral("blob.x")));

        // The same from a worker thread, where the importer calls it.
        QFuture<std::optional<QString>> future = QtConcurrent::run(
            [&keychain] { return keychain.text(QStringLiteral("key.x")); });
        try {
            future.waitForFinished();
            QFAIL("a read without a Secret Service succeeded");
        } catch (const Error &error) {
            QCOMPARE(error.domain(), KeychainError::domain);
            QCOMPARE(error.code(), qint64(KeychainError::ServiceUnavailable));
        }
    }

private:
    QTemporaryDir m_dir;
};

VANTOREL_TEST_MAIN(KeychainUnreachableTest)
#include "tst_keychain_unreachable.moc"
