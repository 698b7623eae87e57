#include "Fennick/Analytics.h"
#include "Fennick/Log.h"
#include "Fennick/RequestError.h"
#include "platform/Analytics.h"
#include "support/TestHome.h"

using namespace Fennick;

namespace {
// Collects what reaches the analytics service while it lives.
class EventRecorder {
public:
    EventRecorder()
        : m_token(platform::Analytics::addObserver([this](const platform::Analytics::Event &event) {
              m_events << event;
          }))
    {
    }
    ~EventRecorder() { platform::Analytics::removeObserver(m_token); }
    const QList<platform::Analytics::Event> &events() const { return m_events; }

private:
    QList<platform::Analytics::Event> m_events;
    int m_token;
};
}  // namespace

class FailureReportingTest : public QObject {
    Q_OBJECT
private slots:
    void networkCodesAreDroppedInAnyDomain_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<bool>("reported");
        for (const QString &domain : {platform::UrlError::domain, QStringLiteral("SomeOtherDomain")}) {
            for (qint64 code : {-1009, -1004, -1001})
                QTest::addRow("%s %lld", qPrintable(domain), code) << domain << code << false;
            for (qint64 code : {-1010, -1008, -1000, -1003, -999, 0})
                QTest::addRow("%s %lld", qPrintable(domain), code) << domain << code << true;
        }
    }
    void networkCodesAreDroppedInAnyDomain()
    {
        QFETCH(QString, domain);
        QFETCH(qint64, code);
        QFETCH(bool, reported);
        EventRecorder recorder;
        TrackError(platform::Error(domain, code, QStringLiteral("text")), QStringLiteral("LoadReviews"));
        QCOMPARE(recorder.events().size(), reported ? 1 : 0);
    }

    void errorEventCarriesNameAndMessage()
    {
        EventRecorder recorder;
        TrackError(RequestError::noSuccess(401), QStringLiteral("LoadReviews"));
        TrackError(std::runtime_error("plain failure"), QStringLiteral("KeychainSave"));
        QCOMPARE(recorder.events().size(), 2);
        QCOMPARE(recorder.events().at(0).name, QStringLiteral("ErrorLoadReviews"));
        const QMap<QString, QString> expected{
            {QStringLiteral("message"),
             QStringLiteral("Unable to authenticate. Please ensure your account credentials are correct.")}};
        QCOMPARE(recorder.events().at(0).properties, expected);
        QCOMPARE(recorder.events().at(1).name, QStringLiteral("ErrorKeychainSave"));
        QCOMPARE(recorder.events().at(1).properties.value(QStringLiteral("message")), QStringLiteral("plain failure"));
    }

    void trackEventPassesPropertiesUnchanged()
    {
        EventRecorder recorder;
        TrackEvent(QStringLiteral("Translate"));
        TrackEvent(QStringLiteral("AppCount"), {{QStringLiteral("count"), QStringLiteral("7")}});
        QCOMPARE(recorder.events().size(), 2);
        QVERIFY(recorder.events().at(0).properties.isEmpty());
        QCOMPARE(recorder.events().at(1).properties.value(QStringLiteral("count")), QStringLiteral("7"));
    }

    void requestErrorTexts()
    {
        const QString unknown = QStringLiteral("Unknown error. Please contact support.");
        QCOMPARE(RequestError::noSuccess(401).localizedDescription(),
                 QStringLiteral("Unable to authenticate. Please ensure your account credentials are correct."));
        QCOMPARE(RequestError::noSuccess(403).localizedDescription(),
                 QStringLiteral("Unable to access resource. Please make sure your API keys have access to apps "
                                "('App Manager'). To respond to reviews, you need 'Admin' access."));
        for (int status : {500, 404, 200, -1, 402})
            QCOMPARE(RequestError::noSuccess(status).localizedDescription(), unknown);
        QCOMPARE(RequestError::badResponse().localizedDescription(),
                 QStringLiteral("Unexpected response. Please make sure you have a working Internet connection."));
        QCOMPARE(RequestError::noCredentials().localizedDescription(), QStringLiteral("Unable to obtain credentials."));
        QCOMPARE(RequestError::noSuccess(404).status(), 404);
        QCOMPARE(RequestError::badResponse().domain(), RequestError::errorDomain);
    }

    void requestErrorSurvivesCloneAndRaise()
    {
        std::unique_ptr<QException> copy(RequestError::noSuccess(403).clone());
        try {
            copy->raise();
            QFAIL("no exception");
        } catch (const RequestError &error) {
            QCOMPARE(error.kind(), RequestError::Kind::noSuccess);
            QCOMPARE(error.status(), 403);
        }
    }

    void loggersUseTheirCategories()
    {
        const std::pair<const QLoggingCategory *, const char *> expected[] = {
            {&Log::model(), "Vantorel.model"},     {&Log::icon(), "Vantorel.icon"},
            {&Log::widget(), "Vantorel.widget"},   {&Log::importer(), "Vantorel.importer"},
            {&Log::app(), "Vantorel.app"}};
        for (const auto &[category, name] : expected) {
            QCOMPARE(category->categoryName(), name);
            QVERIFY(category->isInfoEnabled());
            QVERIFY(category->isCriticalEnabled());
            QVERIFY(!category->isDebugEnabled());
        }
        QTest::ignoreMessage(QtCriticalMsg, "Could not load reviews: boom");
        qCCritical(Log::model(), "Could not load reviews: %s", "boom");
    }
};

VANTOREL_TEST_MAIN(FailureReportingTest)
#include "tst_failure_reporting.moc"
