#include "platform/notifications/UserNotificationCenter.h"
#include "support/TestHome.h"

#include "FakeNotificationServer.h"

#include <QSignalSpy>

using platform::UserNotificationCenter;
namespace Code = platform::UserNotificationError;

namespace {

const QString unreachableBus = QStringLiteral("unix:path=/nonexistent/vantorel-test-bus");

// The error a finished future carries; nothing when it succeeded.
std::optional<platform::Error> failureOf(QFuture<void> future)
{
    try {
        future.waitForFinished();
    } catch (const platform::Error &error) {
        return error;
    }
    return std::nullopt;
}

}  // namespace

class UserNotificationsTest : public QObject {
    Q_OBJECT

private slots:
    void authorisationIsAnAnsweringServer_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("authorised");
        QTest::newRow("server on the bus") << "server" << true;
        QTest::newRow("bus without a server") << "bus" << false;
        QTest::newRow("no bus") << "none" << false;
    }
    void authorisationIsAnAnsweringServer()
    {
        QFETCH(QString, where);
        QFETCH(bool, authorised);
        fakes::PrivateBus bus;
        QVERIFY(!bus.address().isEmpty());
        std::unique_ptr<fakes::FakeNotificationServer> server;
        if (where == QLatin1String("server")) {
            server = std::make_unique<fakes::FakeNotificationServer>(bus.address());
            QVERIFY(server->isRegistered());
        }
        if (where == QLatin1String("none"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^No session bus, so no notifications")));
        if (!authorised)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^No notification server: .+")));
        UserNotificationCenter center(where == QLatin1String("none") ? unreachableBus : bus.address());

        QFuture<bool> answer = center.requestAuthorization();
        QTRY_VERIFY_WITH_TIMEOUT(answer.isFinished(), 10000);
        QCOMPARE(answer.result(), authorised);
        if (server)
            QCOMPARE(server->serverInformationRequests(), 1);
    }

    // What the server is given, and that only a click on our own notification comes back.
    void notificationAndItsClick()
    {
        fakes::PrivateBus bus;
        fakes::FakeNotificationServer server(bus.address());
        QVERIFY(server.isRegistered());
        UserNotificationCenter center(bus.address());
        QSignalSpy activated(&center, &UserNotificationCenter::activated);

        QFuture<void> first = center.add(QStringLiteral("first-id"), QStringLiteral("New Review"),
                                         QStringLiteral("Vantorel downloaded one new review."));
        QFuture<void> second = center.add(QStringLiteral("second-id"), QStringLiteral("B"), QStringLiteral("b"));
        QTRY_VERIFY_WITH_TIMEOUT(first.isFinished() && second.isFinished(), 10000);
        QVERIFY(!failureOf(first));
        QVERIFY(!failureOf(second));

        QCOMPARE(server.notifications().size(), 2);
        const fakes::ReceivedNotification shown = server.notifications().first();
        QCOMPARE(shown.summary, QStringLiteral("New Review"));
        QCOMPARE(shown.body, QStringLiteral("Vantorel downloaded one new review."));
        QCOMPARE(shown.appName, QCoreApplication::applicationName());
        QCOMPARE(shown.replacesId, 0u);
        QCOMPARE(shown.expireTimeout, -1);
        QCOMPARE(shown.actions.size(), 2);  // key and label
        QCOMPARE(shown.actions.first(), QStringLiteral("default"));
        QCOMPARE(shown.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("vantorel"));

        // Another program's notification, another action of ours, then a click on ours.
        server.invokeAction(9999);
        server.invokeAction(shown.id, QStringLiteral("reply"));
        server.invokeAction(server.notifications().last().id);
        server.invokeAction(shown.id);
        QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 2, 10000);
        QCOMPARE(activated.at(0).at(0).toString(), QStringLiteral("second-id"));
        QCOMPARE(activated.at(1).at(0).toString(), QStringLiteral("first-id"));
        QTest::qWait(100);  // a stray delivery of the foreign or non-default action would show now
        QCOMPARE(activated.size(), 2);
    }

    // Every way of not being shown fails the call, is logged, and never hangs.
    void failedNotification_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("mode");
        QTest::addColumn<qint64>("code");
        QTest::newRow("server refuses") << "server" << int(fakes::FakeNotificationServer::Mode::refuse)
                                        << qint64(Code::ServerFailure);
        QTest::newRow("server never answers") << "server" << int(fakes::FakeNotificationServer::Mode::silent)
                                              << qint64(Code::ServerFailure);
        QTest::newRow("bus without a server") << "bus" << 0 << qint64(Code::ServerFailure);
        QTest::newRow("no bus") << "none" << 0 << qint64(Code::NoSessionBus);
    }
    void failedNotification()
    {
        QFETCH(QString, where);
        QFETCH(int, mode);
        QFETCH(qint64, code);
        fakes::PrivateBus bus;
        std::unique_ptr<fakes::FakeNotificationServer> server;
        if (where == QLatin1String("server")) {
            server = std::make_unique<fakes::FakeNotificationServer>(bus.address());
            QVERIFY(server->isRegistered());
            server->setMode(fakes::FakeNotificationServer::Mode(mode));
        }
        if (where == QLatin1String("none"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^No session bus, so no notifications")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Could not show a notification: .+")));
        UserNotificationCenter center(where == QLatin1String("none") ? unreachableBus : bus.address());
        center.setTimeout(300);
        QSignalSpy activated(&center, &UserNotificationCenter::activated);

        QFuture<void> shown = center.add(QStringLiteral("id"), QStringLiteral("Title"), QStringLiteral("Body"));
        QTRY_VERIFY_WITH_TIMEOUT(shown.isFinished(), 10000);
        const std::optional<platform::Error> error = failureOf(shown);
        QVERIFY(error);
        QCOMPARE(error->domain(), platform::UserNotificationError::domain);
        QCOMPARE(error->code(), code);
        QVERIFY(!error->localizedDescription().isEmpty());
        if (server) {
            QCOMPARE(server->notifications().size(), 1);
            // A refused notification has no id of ours: a click on "its" id is not reported.
            server->invokeAction(0);
            QTest::qWait(100);
        }
        QCOMPARE(activated.size(), 0);
    }

    // The centre goes while the server has not answered yet: the caller's future is cancelled.
    void centreDestroyedWhileWaiting()
    {
        fakes::PrivateBus bus;
        fakes::FakeNotificationServer server(bus.address());
        server.setMode(fakes::FakeNotificationServer::Mode::silent);
        auto center = std::make_unique<UserNotificationCenter>(bus.address());
        QFuture<void> shown = center->add(QStringLiteral("id"), QStringLiteral("Title"), QStringLiteral("Body"));
        QTRY_COMPARE_WITH_TIMEOUT(server.notifications().size(), 1, 10000);
        center.reset();
        QVERIFY(shown.isFinished() && shown.isCanceled());
        QTest::qWait(100);  // any late answer finds nothing to write to
    }
};

VANTOREL_TEST_MAIN(UserNotificationsTest)
#include "tst_user_notifications.moc"
