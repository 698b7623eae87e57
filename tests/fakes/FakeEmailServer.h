#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace fakes {

struct EmailRequest {
    QByteArray method;
    QByteArray path;
    QByteArray accept;
    QByteArray contentType;
    QByteArray token;  // the "X-Postmark-Server-Token" header
    QByteArray body;
};

// A stand-in for the e-mail delivery service on 127.0.0.1. "POST /email" is answered with the
// status and body set by the test (by default 200 with the service's success reply); any other
// request gets 404. Requests may be held back until release(). Thread-safe.
class FakeEmailServer {
public:
    explicit FakeEmailServer(quint16 port = 0);
    ~FakeEmailServer();
    FakeEmailServer(const FakeEmailServer &) = delete;
    FakeEmailServer &operator=(const FakeEmailServer &) = delete;

    QString baseUrl() const;

    static QByteArray successBody();
    void setReply(int status, const QByteArray &body);
    // Until release(), requests wait before they are answered.
    void hold();
    void release();

    QList<EmailRequest> requests() const;
    // Blocks up to `milliseconds` until at least `count` requests arrived.
    bool waitForRequests(int count, int milliseconds) const;

private:
    struct State;
    std::unique_ptr<State> d;
};

}  // namespace fakes
