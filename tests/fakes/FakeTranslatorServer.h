#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace fakes {

// How the service answers a request that passed its checks.
struct TranslatorAnswer {
    int status = 200;
    std::optional<QByteArray> body;  // sent instead of the translations (malformed replies)
    int translationsPerText = 1;  // each container holds this many translations
};

struct TranslatorRequest {
    QByteArray target;  // raw path and query as sent
    QByteArray body;
    QString to;           // the "to" query value, decoded
    QStringList texts;    // the "Text" of each entry, when the body was well formed
    QString rejection;    // why the request was refused with 400; empty when it was accepted
};

// A stand-in for the text-translation service (API version 3.0) on 127.0.0.1. POST
// "/translate?api-version=3.0&to=<code>" with the subscription headers and a JSON array of
// {"Text": ...} entries answers with one container per text; its translation i of a text is
// "<code>#<i>:" followed by the text, "<code>:" and the text for the first one. A request
// with a wrong header, query or body gets 400 with the reason in TranslatorRequest::rejection.
class FakeTranslatorServer {
public:
    static inline const QByteArray expectedKey = QByteArrayLiteral("a4e19c07b35d4f8e96c2071b5d8e3fa6");
    static inline const QByteArray expectedRegion = QByteArrayLiteral("eastus");

    explicit FakeTranslatorServer(quint16 port = 0);
    ~FakeTranslatorServer();
    FakeTranslatorServer(const FakeTranslatorServer &) = delete;
    FakeTranslatorServer &operator=(const FakeTranslatorServer &) = delete;

    QString baseUrl() const;
    void setAnswer(const TranslatorAnswer &answer);

    QList<TranslatorRequest> requests() const;

    // The translation the service gives for `text` into `to` (the first one of a container).
    static QString translated(const QString &text, const QString &to, int index = 0);

private:
    struct State;
    std::unique_ptr<State> d;
};

}  // namespace fakes
