#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace fakes {

// A bare TCP server on 127.0.0.1 that records each request byte for byte and answers with
// bytes given by the test, for what a real HTTP server will not do: check header order, send a
// broken or short reply, or never answer at all. One connection at a time.
class RawHttpServer {
public:
    enum class Mode {
        reply,   // send the reply bytes, then close
        silent,  // read the request and never answer
        hangUp,  // close as soon as the request is read
    };

    RawHttpServer();
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer &) = delete;
    RawHttpServer &operator=(const RawHttpServer &) = delete;

    quint16 port() const;
    QString baseUrl() const;

    void setMode(Mode mode);
    void setReply(const QByteArray &rawReply);
    // A complete reply with a Content-Length that matches the body.
    static QByteArray reply(int status, const QByteArray &body, const QByteArray &extraHeaders = {});

    QList<QByteArray> requests() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

// A port on 127.0.0.1 on which nothing listens (bound, then released).
quint16 unusedPort();

}  // namespace fakes
