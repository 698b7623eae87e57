#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace fakes {

// How the lookup answers one app in one country.
struct LookupAnswer {
    enum class Results { normal, empty, noArtwork100, malformed };
    int status = 200;
    Results results = Results::normal;
};

struct LookupRequest {
    QByteArray target;  // raw path and query as sent
    QString id;         // query values, decoded
    QString country;
};

// A stand-in for the App Store's app lookup and its artwork on 127.0.0.1. "/lookup?id=&country="
// answers with the registered app's artwork addresses, which point at this server; an unknown
// app gets no results. Thread-safe: tests may change answers while requests run.
class FakeLookupServer {
public:
    explicit FakeLookupServer(quint16 port = 0);
    ~FakeLookupServer();
    FakeLookupServer(const FakeLookupServer &) = delete;
    FakeLookupServer &operator=(const FakeLookupServer &) = delete;

    QString baseUrl() const;

    // Registers (or replaces) an app whose artwork download returns `artwork` as it is.
    void addApp(const QString &id, const QByteArray &artwork);
    // The answer for the app in that country; the default is a normal result with status 200.
    void setAnswer(const QString &id, const QString &country, const LookupAnswer &answer);
    // Added to every request, before the reply.
    void setDelay(int milliseconds);

    int requestCount() const;
    int lookupCount() const;
    int artworkCount() const;
    // The most requests that were being answered at one time.
    int maximumConcurrency() const;
    QList<LookupRequest> lookups() const;
    void clearRequests();

private:
    struct State;
    std::unique_ptr<State> d;
};

}  // namespace fakes
