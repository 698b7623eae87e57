#include "platform/Error.h"
#include "platform/http/HttpSession.h"
#include "platform/http/TransportError.h"

#include "LoopbackServer.h"
#include "RawHttpServer.h"
#include "TestCrypto.h"
#include "support/TestHome.h"

#include <httplib.h>

#include <QProcess>
#include <QtConcurrent>

#include <arpa/inet.h>
#include <cerrno>
#include <curl/curl.h>
#include <mutex>
#include <net/if.h>
#include <netinet/in.h>
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
    void start() { m_port = fakes::startOnLoopback(*m_server, m_thread, 0, "the test server"); }
    ~LocalServer()
    {
        if (m_thread.joinable())
            fakes::stopOnLoopback(*m_server, m_thread, quint16(m_port));
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
    void cleanup()
    {
        Session::setSilenceLimit(Session::defaultSilenceLimit);
        Session::trustCertificatesForTesting({});
    }

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
        raw.setReply(QByteArray("HTTP/1.1 200 OK\r\nX-Cut: a\0b\r\nContent-Length: 0\r\n\r\n", 50));
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
        // A line break in a header would smuggle in a header of its own; a NUL would cut it.
        const QList<QPair<QByteArray, QByteArray>> unsafe{
            {"X-Note", "a\r\nX-Injected: 1"},
            {"X-Note", "a\nX-Injected: 1"},
            {"X-Note", "a\rb"},
            {"X-Note", QByteArray("a\0X-Injected: 1", 15)},
            {"X-No\nte", "v"},
            {QByteArray("X-Note\0", 7), "v"},
            {"X-Note: v\r\nX-Injected", "1"},
        };
        for (const auto &header : unsafe) {
            QCOMPARE(urlErrorCode([&] { session.get(QUrl(raw.baseUrl() + QStringLiteral("/")), {header}); }),
                     platform::UrlError::BadUrl);
        }
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
        // A certificate made for this run, which nobody trusts.
        const fakes::LoopbackCertificate certificate = fakes::makeLoopbackCertificate();
        bool reached = false;
        LocalServer local(std::make_unique<httplib::SSLServer>(certificate.certificate.get(), certificate.key.get()));
        local.server().Get("/", [&reached](const httplib::Request &, httplib::Response &response) {
            reached = true;
            response.set_content("secret", "text/plain");
        });
        local.start();

        QCOMPARE(urlErrorCode([&] { Session::shared().get(local.url(QStringLiteral("https"), QStringLiteral("/"))); }),
                 platform::UrlError::ServerCertificateUntrusted);
        QVERIFY(!reached);
    }

    void failuresMapToUrlErrors_data()
    {
        QTest::addColumn<int>("curlCode");
        QTest::addColumn<int>("osErrno");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("loopback");
        QTest::addColumn<bool>("networkUp");
        QTest::addColumn<qint64>("code");
        using U = platform::UrlError::Code;
        const auto row = [](const char *name, CURLcode curl, int osErrno, int status, bool loopback, bool up, U code) {
            QTest::newRow(name) << int(curl) << osErrno << status << loopback << up << qint64(code);
        };
        row("unknown name", CURLE_COULDNT_RESOLVE_HOST, 0, 0, false, true, U::CannotFindHost);
        row("unknown name, offline", CURLE_COULDNT_RESOLVE_HOST, 0, 0, false, false, U::NotConnectedToInternet);
        row("unknown proxy, offline", CURLE_COULDNT_RESOLVE_PROXY, 0, 0, false, false, U::NotConnectedToInternet);
        row("refused", CURLE_COULDNT_CONNECT, ECONNREFUSED, 0, false, true, U::CannotConnectToHost);
        row("refused, offline", CURLE_COULDNT_CONNECT, ECONNREFUSED, 0, false, false, U::NotConnectedToInternet);
        row("refused here, offline", CURLE_COULDNT_CONNECT, ECONNREFUSED, 0, true, false, U::CannotConnectToHost);
        row("no route", CURLE_COULDNT_CONNECT, ENETUNREACH, 0, false, true, U::NotConnectedToInternet);
        row("timed out, offline", CURLE_OPERATION_TIMEDOUT, 0, 0, false, false, U::TimedOut);
        row("lost, offline", CURLE_RECV_ERROR, ECONNRESET, 200, false, false, U::NetworkConnectionLost);
        row("not HTTP", CURLE_UNSUPPORTED_PROTOCOL, 0, 0, false, true, U::BadServerResponse);
        row("redirect to a refused scheme", CURLE_UNSUPPORTED_PROTOCOL, 0, 301, false, true, U::UnsupportedUrl);
        row("untrusted certificate", CURLE_PEER_FAILED_VERIFICATION, 0, 0, false, true, U::ServerCertificateUntrusted);
        row("unlisted", CURLE_SSL_ENGINE_NOTFOUND, 0, 0, false, true, U::Unknown);
    }
    void failuresMapToUrlErrors()
    {
        QFETCH(int, curlCode);
        QFETCH(int, osErrno);
        QFETCH(int, status);
        QFETCH(bool, loopback);
        QFETCH(bool, networkUp);
        QFETCH(qint64, code);
        const platform::Error error = platform::http::transportError(
            {curlCode, osErrno, status, "libcurl's own words", loopback, networkUp});
        QCOMPARE(error.domain(), platform::UrlError::domain);
        QCOMPARE(error.code(), code);
        QVERIFY(!error.localizedDescription().isEmpty());
        // Only an unlisted failure needs libcurl's text to say what happened.
        QCOMPARE(error.localizedDescription().contains(QStringLiteral("libcurl's own words")),
                 code == platform::UrlError::Unknown);
    }

    void onlyAddressesBeyondTheLinkCountAsNetwork_data()
    {
        QTest::addColumn<uint>("flags");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("counts");
        const uint running = IFF_UP | IFF_RUNNING;
        QTest::newRow("wired") << running << QStringLiteral("192.168.1.20") << true;
        QTest::newRow("wired, no carrier") << uint(IFF_UP) << QStringLiteral("192.168.1.20") << false;
        QTest::newRow("switched off") << 0u << QStringLiteral("10.0.0.2") << false;
        QTest::newRow("loopback") << (running | IFF_LOOPBACK) << QStringLiteral("127.0.0.1") << false;
        QTest::newRow("loopback, other address") << (running | IFF_LOOPBACK) << QStringLiteral("10.9.9.9") << false;
        QTest::newRow("loopback address elsewhere") << running << QStringLiteral("127.0.1.1") << false;
        QTest::newRow("self-assigned") << running << QStringLiteral("169.254.7.1") << false;
        QTest::newRow("IPv6") << running << QStringLiteral("2001:db8::1") << true;
        QTest::newRow("IPv6 link-local") << running << QStringLiteral("fe80::1") << false;
        QTest::newRow("IPv6 loopback") << running << QStringLiteral("::1") << false;
        QTest::newRow("no address") << running << QString() << false;
    }
    void onlyAddressesBeyondTheLinkCountAsNetwork()
    {
        QFETCH(uint, flags);
        QFETCH(QString, address);
        QFETCH(bool, counts);
        sockaddr_storage storage{};
        const QByteArray text = address.toLatin1();
        if (address.contains(u':')) {
            auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
            v6->sin6_family = AF_INET6;
            QCOMPARE(inet_pton(AF_INET6, text.constData(), &v6->sin6_addr), 1);
        } else if (!address.isEmpty()) {
            auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
            v4->sin_family = AF_INET;
            QCOMPARE(inet_pton(AF_INET, text.constData(), &v4->sin_addr), 1);
        }
        const auto *generic = address.isEmpty() ? nullptr : reinterpret_cast<const sockaddr *>(&storage);
        QCOMPARE(platform::http::reachesBeyondLink(flags, generic), counts);
    }

    void withoutAnyNetworkRequestsAreNotConnected()
    {
        // Requests from a network namespace of their own, where nothing but loopback can come up.
        QProcess probe;
        probe.start(QStringLiteral(HTTP_OFFLINE_PROBE), {});
        QVERIFY(probe.waitForFinished(120000));
        if (probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 77)
            QSKIP("This system lets no process have a network namespace of its own.");
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QMap<QString, qint64> codes;
        for (const QByteArray &line : probe.readAllStandardOutput().split('\n')) {
            const qsizetype space = line.lastIndexOf(' ');
            if (space > 0)
                codes.insert(QString::fromUtf8(line.left(space)), line.mid(space + 1).toLongLong());
        }
        QCOMPARE(codes.value(QStringLiteral("name")), qint64(platform::UrlError::NotConnectedToInternet));
        QCOMPARE(codes.value(QStringLiteral("address")), qint64(platform::UrlError::NotConnectedToInternet));
        QCOMPARE(codes.value(QStringLiteral("name with loopback")), qint64(platform::UrlError::NotConnectedToInternet));
        // This machine itself still answers: a refusal there is no sign of being offline.
        QCOMPARE(codes.value(QStringLiteral("loopback")), qint64(platform::UrlError::CannotConnectToHost));
    }

    void silenceEndsARequestButATrickleDoesNot()
    {
        QCOMPARE(Session::silenceLimit(), Session::defaultSilenceLimit);
        QCOMPARE(Session::defaultSilenceLimit, 60s);
        Session::setSilenceLimit(1s);
        const Session &session = Session::shared();

        // No limit of the caller's own: the silence alone ends these.
        fakes::RawHttpServer raw;
        raw.setMode(fakes::RawHttpServer::Mode::silent);
        QCOMPARE(urlErrorCode([&] { session.get(QUrl(raw.baseUrl() + QStringLiteral("/"))); }),
                 platform::UrlError::TimedOut);
        // A TLS handshake that is never answered.
        const QUrl secure(QStringLiteral("https://127.0.0.1:%1/").arg(raw.port()));
        QCOMPARE(urlErrorCode([&] { session.get(secure); }), platform::UrlError::TimedOut);

        // One byte every quarter second for three seconds: slow, never silent. (A type the server
        // would not compress, since its compressor holds bytes back.)
        LocalServer local;
        local.server().Get("/trickle", [](const httplib::Request &, httplib::Response &response) {
            response.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink &sink) {
                if (offset >= 12) {
                    sink.done();
                    return true;
                }
                sink.write("x", 1);
                std::this_thread::sleep_for(250ms);
                return true;
            });
        });
        local.start();
        const auto reply = session.get(local.url(QStringLiteral("http"), QStringLiteral("/trickle")));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, QByteArray(12, 'x'));
    }

    void redirectsNeverLeaveHttps_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("followed");
        QTest::newRow("https to http") << QStringLiteral("https") << QStringLiteral("http") << false;
        QTest::newRow("https to https") << QStringLiteral("https") << QStringLiteral("https") << true;
        QTest::newRow("http to https") << QStringLiteral("http") << QStringLiteral("https") << true;
        QTest::newRow("http to http") << QStringLiteral("http") << QStringLiteral("http") << true;
        QTest::newRow("https to ftp") << QStringLiteral("https") << QStringLiteral("ftp") << false;
        QTest::newRow("http to file") << QStringLiteral("http") << QStringLiteral("file") << false;
    }
    void redirectsNeverLeaveHttps()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, followed);
        const fakes::LoopbackCertificate certificate = fakes::makeLoopbackCertificate();
        Session::trustCertificatesForTesting(certificate.pem);
        LocalServer plain;
        LocalServer secure(std::make_unique<httplib::SSLServer>(certificate.certificate.get(), certificate.key.get()));
        std::atomic<int> finalHits = 0;
        QString target;
        for (LocalServer *server : {&plain, &secure}) {
            server->server().Get("/start", [&target](const httplib::Request &, httplib::Response &response) {
                response.set_redirect(target.toStdString(), 302);
            });
            server->server().Get("/final", [&finalHits](const httplib::Request &, httplib::Response &response) {
                ++finalHits;
                response.set_content("final", "text/plain");
            });
            server->start();
        }
        LocalServer &origin = from == QLatin1String("https") ? secure : plain;
        if (to == QLatin1String("http"))
            target = plain.url(to, QStringLiteral("/final")).toString();
        else if (to == QLatin1String("https"))
            target = secure.url(to, QStringLiteral("/final")).toString();
        else if (to == QLatin1String("ftp"))
            target = QStringLiteral("ftp://127.0.0.1/final");
        else
            target = QStringLiteral("file:///etc/passwd");

        const QUrl start = origin.url(from, QStringLiteral("/start"));
        if (followed) {
            const auto response = Session::shared().get(start);
            QCOMPARE(response.status, 200);
            QCOMPARE(response.body, QByteArray("final"));
            QCOMPARE(finalHits.load(), 1);
        } else {
            QCOMPARE(urlErrorCode([&] { Session::shared().get(start); }), platform::UrlError::UnsupportedUrl);
            QCOMPARE(finalHits.load(), 0);
        }
    }

    void headersComeFromTheFinalReply()
    {
        LocalServer local;
        local.server().Get("/first", [](const httplib::Request &, httplib::Response &response) {
            response.set_header("X-Hop", "first");
            response.set_redirect("/second", 301);
        });
        local.server().Get("/second", [](const httplib::Request &, httplib::Response &response) {
            response.set_header("X-Hop", "second");
            response.set_header("X-Only-Second", "yes");
            response.set_redirect("/final", 302);
        });
        local.server().Get("/final", [](const httplib::Request &, httplib::Response &response) {
            response.set_header("X-Final", "yes");
            response.set_content("done", "text/plain");
        });
        local.start();
        const auto response = Session::shared().get(local.url(QStringLiteral("http"), QStringLiteral("/first")));
        QCOMPARE(response.status, 200);
        QCOMPARE(response.body, QByteArray("done"));
        QCOMPARE(response.header("X-Final"), QByteArray("yes"));
        QVERIFY(response.header("X-Hop").isEmpty());
        QVERIFY(response.header("X-Only-Second").isEmpty());
        QVERIFY(response.header("Location").isEmpty());
    }

    void connectionsAreKeptAndNothingCarriesOver()
    {
        struct Seen {
            std::string method, path, body, note;
            int port = 0;
            bool hasLength = false;
        };
        std::mutex mutex;
        QList<Seen> seen;
        LocalServer local;
        local.server().set_keep_alive_max_count(1000);
        local.server().new_task_queue = [] { return new httplib::ThreadPool(16); };
        const auto record = [&](const httplib::Request &request, httplib::Response &response) {
            std::this_thread::sleep_for(2ms);
            const std::lock_guard lock(mutex);
            seen.append({request.method, request.path, request.body, request.get_header_value("X-Note"),
                         request.remote_port, request.has_header("Content-Length")});
            response.set_content("ok", "text/plain");
        };
        local.server().Get(".*", record);
        local.server().Post(".*", record);
        local.server().Delete(".*", record);
        local.start();
        const auto url = [&](const char *path) { return local.url(QStringLiteral("http"), QLatin1String(path)); };
        const Session &session = Session::shared();

        session.get(url("/a"), {{"X-Note", "first"}});
        session.post(url("/b"), "posted", {{"X-Note", "second"}});
        session.get(url("/c"));
        session.deleteResource(url("/d"));
        session.get(url("/e"));
        QCOMPARE(seen.size(), 5);
        const QStringList methods{QString::fromStdString(seen[0].method), QString::fromStdString(seen[1].method),
                                  QString::fromStdString(seen[2].method), QString::fromStdString(seen[3].method),
                                  QString::fromStdString(seen[4].method)};
        QCOMPARE(methods, QStringList({"GET", "POST", "GET", "DELETE", "GET"}));
        QCOMPARE(seen[1].body, std::string("posted"));
        QCOMPARE(seen[1].note, std::string("second"));
        // A kept handle forgets the previous call: no header, body or method of it.
        for (const int index : {2, 4}) {
            QVERIFY(seen[index].note.empty());
            QVERIFY(seen[index].body.empty());
            QVERIFY(!seen[index].hasLength);
        }
        // One connection for all but the POST, which never goes on a kept one.
        QCOMPARE(seen[2].port, seen[0].port);
        QCOMPARE(seen[3].port, seen[0].port);
        QCOMPARE(seen[4].port, seen[0].port);
        QVERIFY(seen[1].port != seen[0].port);

        // From many threads: never more connections than requests at once.
        seen.clear();
        constexpr int threads = 8;
        QThreadPool pool;
        pool.setMaxThreadCount(threads);
        QList<int> jobs(threads);
        std::iota(jobs.begin(), jobs.end(), 0);
        QtConcurrent::blockingMap(&pool, jobs, [&](int job) {
            for (int round = 0; round < 10; ++round)
                session.get(url("/many"), {{"X-Note", QByteArray::number(job)}});
        });
        QCOMPARE(seen.size(), threads * 10);
        QSet<int> ports;
        for (const Seen &request : std::as_const(seen))
            ports.insert(request.port);
        QVERIFY2(ports.size() <= threads, qPrintable(QStringLiteral("%1 connections").arg(ports.size())));
    }

    void aKeptConnectionThatTheServerClosedIsReplaced()
    {
        // Closes after every reply, without saying so: the kept connection is dead next time.
        fakes::RawHttpServer raw;
        raw.setReply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
        const QUrl url(raw.baseUrl() + QStringLiteral("/"));
        for (int round = 0; round < 3; ++round)
            QCOMPARE(Session::shared().get(url).body, QByteArray("ok"));
        QCOMPARE(raw.requests().size(), 3);
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
