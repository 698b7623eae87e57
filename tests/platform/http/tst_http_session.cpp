#include "platform/Error.h"
#include "platform/http/HttpSession.h"

#include "RawHttpServer.h"
#include "TestCrypto.h"
#include "support/TestHome.h"

#include <httplib.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <QtConcurrent>

#include <thread>

using namespace std::chrono_literals;
using platform::http::Request;
using platform::http::Session;

namespace {

// The code of the URL error that the call throws; 0 when it throws nothing.
template<typename Call>
qint64 urlErrorCode(Call call)
{
    try {
        call();
    } catch (const platform::Error &error) {
        if (error.domain() != platform::UrlError::domain)
            return 1;
        return error.code();
    }
    return 0;
}

// An httplib server on an ephemeral loopback port, running until destroyed.
class LocalServer {
public:
    explicit LocalServer(std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>())
        : m_server(std::move(server))
    {
    }
    void start()
    {
        m_port = m_server->bind_to_any_port("127.0.0.1");
        QVERIFY(m_port > 0);
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        while (!m_server->is_running())
            std::this_thread::sleep_for(1ms);
    }
    ~LocalServer()
    {
        m_server->stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    httplib::Server &server() { return *m_server; }
    QUrl url(const QString &scheme, const QString &path) const
    {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_port).arg(path));
    }

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
};

}  // namespace

class HttpSessionTest : public QObject {
    Q_OBJECT

private slots:
    void requestsGoOutAsGiven()
    {
        fakes::RawHttpServer raw;
        const QUrl base(raw.baseUrl());
        const Session &session = Session::shared();

        session.get(base.resolved(QUrl(QStringLiteral("/v1/apps?limit=200"))),
                    {{"X-First", "1"}, {"Authorization", "Bearer t"}, {"X-Last", "3"}});
        session.post(base.resolved(QUrl(QStringLiteral("/post"))), "{\"a\":1}",
                     {{"Content-Type", "application/json"}, {"Authorization", "Bearer t"}});
        session.post(base.resolved(QUrl(QStringLiteral("/plain"))), "x=1");
        session.deleteResource(base.resolved(QUrl(QStringLiteral("/v1/thing/a%2Fb"))));

        const QList<QByteArray> requests = raw.requests();
        QCOMPARE(requests.size(), 4);
        QVERIFY(requests[0].startsWith("GET /v1/apps?limit=200 HTTP/1.1\r\n"));
        const qsizetype first = requests[0].indexOf("X-First: 1\r\n");
        const qsizetype authorization = requests[0].indexOf("Authorization: Bearer t\r\n");
        const qsizetype last = requests[0].indexOf("X-Last: 3\r\n");
        QVERIFY(first > 0 && first < authorization && authorization < last);

        QVERIFY(requests[1].startsWith("POST /post HTTP/1.1\r\n"));
        QVERIFY(requests[1].indexOf("Content-Type: application/json\r\n") < requests[1].indexOf("Authorization:"));
        QVERIFY(requests[1].endsWith("\r\n\r\n{\"a\":1}"));
        QVERIFY(!requests[1].contains("Expect:"));

        // No form encoding of the transport's own when the caller names no type.
        QVERIFY(requests[2].endsWith("\r\n\r\nx=1"));
        QVERIFY(!requests[2].contains("x-www-form-urlencoded"));

        // An encoded slash stays encoded: it is part of one segment.
        QVERIFY(requests[3].startsWith("DELETE /v1/thing/a%2Fb HTTP/1.1\r\n"));
    }

    void replyIsReturnedWhateverItsStatus()
    {
        fakes::RawHttpServer raw;
        raw.setReply(fakes::RawHttpServer::reply(503, "busy", "X-Request-Id: abc\r\n"));
        const auto response = Session::shared().get(QUrl(raw.baseUrl() + QStringLiteral("/")));
        QCOMPARE(response.status, 503);
        QCOMPARE(response.body, QByteArray("busy"));
        QCOMPARE(response.header("x-request-id"), QByteArray("abc"));
        QVERIFY(response.header("X-Missing").isEmpty());

        raw.setReply(fakes::RawHttpServer::reply(204, {}));
        const auto empty = Session::shared().deleteResource(QUrl(raw.baseUrl() + QStringLiteral("/x")));
        QCOMPARE(empty.status, 204);
        QVERIFY(empty.body.isEmpty());
    }

    void transportFailuresCarryPlatformCodes()
    {
        fakes::RawHttpServer raw;
        const QUrl url(raw.baseUrl() + QStringLiteral("/"));
        const Session &session = Session::shared();

        const QUrl refused(QStringLiteral("http://127.0.0.1:%1/").arg(fakes::unusedPort()));
        QCOMPARE(urlErrorCode([&] { session.get(refused); }), platform::UrlError::CannotConnectToHost);

        raw.setMode(fakes::RawHttpServer::Mode::silent);
        QCOMPARE(urlErrorCode([&] { session.get(url, {}, 300ms); }), platform::UrlError::TimedOut);

        raw.setMode(fakes::RawHttpServer::Mode::hangUp);
        QCOMPARE(urlErrorCode([&] { session.get(url); }), platform::UrlError::NetworkConnectionLost);

        // The body ends before its announced length.
        raw.setMode(fakes::RawHttpServer::Mode::reply);
        raw.setReply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nshort");
        QCOMPARE(urlErrorCode([&] { session.get(url); }), platform::UrlError::NetworkConnectionLost);

        raw.setReply("this is not HTTP at all\r\n\r\n");
        QCOMPARE(urlErrorCode([&] { session.get(url); }), platform::UrlError::BadServerResponse);
    }

    void unsafeRequestsAreRefusedBeforeSending()
    {
        fakes::RawHttpServer raw;
        const Session &session = Session::shared();
        QCOMPARE(urlErrorCode([&] { session.get(QUrl(QStringLiteral("file:///etc/passwd"))); }),
                 platform::UrlError::UnsupportedUrl);
        QCOMPARE(urlErrorCode([&] { session.get(QUrl(QStringLiteral("ftp://127.0.0.1/x"))); }),
                 platform::UrlError::UnsupportedUrl);
        QCOMPARE(urlErrorCode([&] { session.get(QUrl(QStringLiteral("not a url"))); }), platform::UrlError::BadUrl);
        // A line break in a value would smuggle in a header of its own.
        QCOMPARE(urlErrorCode([&] {
                     session.get(QUrl(raw.baseUrl() + QStringLiteral("/")), {{"X-Note", "a\r\nX-Injected: 1"}});
                 }),
                 platform::UrlError::BadUrl);
        QVERIFY(raw.requests().isEmpty());
    }

    void repliesOverTheLimitFailCleanly()
    {
        const std::string exact(size_t(Session::maximumBodySize), 'a');
        LocalServer local;
        local.server().Get("/announced", [](const httplib::Request &, httplib::Response &response) {
            response.set_content(std::string(size_t(Session::maximumBodySize) + 1, 'x'), "text/plain");
        });
        local.server().Get("/streamed", [](const httplib::Request &, httplib::Response &response) {
            // Chunked, so that no length is known in advance.
            response.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink &sink) {
                const std::string chunk(1 << 20, 'y');
                if (offset > size_t(Session::maximumBodySize) * 2)
                    sink.done();
                else
                    sink.write(chunk.data(), chunk.size());
                return true;
            });
        });
        local.server().Get("/exact", [&exact](const httplib::Request &, httplib::Response &response) {
            response.set_content(exact, "text/plain");
        });
        local.start();

        const Session &session = Session::shared();
        QCOMPARE(urlErrorCode([&] { session.get(local.url(QStringLiteral("http"), QStringLiteral("/announced"))); }),
                 platform::UrlError::DataLengthExceedsMaximum);
        QCOMPARE(urlErrorCode([&] { session.get(local.url(QStringLiteral("http"), QStringLiteral("/streamed"))); }),
                 platform::UrlError::DataLengthExceedsMaximum);
        const auto atLimit = session.get(local.url(QStringLiteral("http"), QStringLiteral("/exact")));
        QCOMPARE(atLimit.body.size(), Session::maximumBodySize);
    }

    void untrustedCertificateIsRefused()
    {
        // A self-signed certificate for 127.0.0.1, made for this run.
        std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
        std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), &X509_free);
        QVERIFY(key && certificate);
        X509_set_version(certificate.get(), 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0);
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
        X509_set_pubkey(certificate.get(), key.get());
        X509_NAME *name = X509_get_subject_name(certificate.get());
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("127.0.0.1"),
                                   -1, -1, 0);
        X509_set_issuer_name(certificate.get(), name);
        QVERIFY(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0);

        bool reached = false;
        LocalServer local(std::make_unique<httplib::SSLServer>(certificate.get(), key.get()));
        local.server().Get("/", [&reached](const httplib::Request &, httplib::Response &response) {
            reached = true;
            response.set_content("secret", "text/plain");
        });
        local.start();

        QCOMPARE(urlErrorCode([&] { Session::shared().get(local.url(QStringLiteral("https"), QStringLiteral("/"))); }),
                 platform::UrlError::ServerCertificateUntrusted);
        QVERIFY(!reached);
    }

    void manyThreadsAtOnce()
    {
        LocalServer local;
        local.server().new_task_queue = [] { return new httplib::ThreadPool(16); };
        local.server().Post("/echo", [](const httplib::Request &request, httplib::Response &response) {
            std::this_thread::sleep_for(2ms);
            response.set_content(request.get_header_value("X-Id") + ":" + request.body, "text/plain");
        });
        local.start();
        const QUrl url = local.url(QStringLiteral("http"), QStringLiteral("/echo"));

        QList<int> jobs(24);
        std::iota(jobs.begin(), jobs.end(), 0);
        QThreadPool pool;
        pool.setMaxThreadCount(24);
        const QList<int> mismatches = QtConcurrent::blockingMapped(&pool, jobs, [&url](int job) {
            int wrong = 0;
            for (int round = 0; round < 20; ++round) {
                const QByteArray id = QByteArray::number(job * 100 + round);
                const auto response = Session::shared().post(url, "body" + id, {{"X-Id", id}}, 10s);
                wrong += response.status != 200 || response.body != id + ":body" + id;
            }
            return wrong;
        });
        QCOMPARE(std::accumulate(mismatches.begin(), mismatches.end(), 0), 0);
    }
};

VANTOREL_TEST_MAIN(HttpSessionTest)
#include "tst_http_session.moc"
