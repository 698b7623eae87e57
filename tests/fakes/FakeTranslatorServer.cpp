#include "FakeTranslatorServer.h"

#include "LoopbackServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <httplib.h>

#include <mutex>
#include <thread>

namespace fakes {

namespace {

// The reason a header is wrong; empty when it is there exactly once with the expected value.
QString headerProblem(const httplib::Request &request, const char *name, const QByteArray &expected)
{
    const size_t count = request.get_header_value_count(name);
    if (count != 1)
        return QStringLiteral("header %1 sent %2 times").arg(QLatin1String(name)).arg(count);
    const QByteArray value = QByteArray::fromStdString(request.get_header_value(name));
    if (value != expected)
        return QStringLiteral("header %1 is \"%2\"").arg(QLatin1String(name), QString::fromUtf8(value));
    return {};
}

QString queryProblem(const httplib::Request &request)
{
    for (const auto &[name, value] : request.params) {
        if (name != "api-version" && name != "to")
            return QStringLiteral("unexpected query parameter %1").arg(QString::fromStdString(name));
    }
    if (request.get_param_value_count("api-version") != 1 || request.get_param_value("api-version") != "3.0")
        return QStringLiteral("api-version is not 3.0");
    if (request.get_param_value_count("to") != 1 || request.get_param_value("to").empty())
        return QStringLiteral("no target language");
    return {};
}

// The texts of a body [{"Text": ...}, ...]; sets `problem` when the body is anything else.
QStringList textsOf(const QByteArray &body, QString &problem)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        problem = QStringLiteral("the body is not a JSON array");
        return {};
    }
    QStringList texts;
    for (const QJsonValue &entry : document.array()) {
        const QJsonObject object = entry.toObject();
        if (!entry.isObject() || object.keys() != QStringList{QStringLiteral("Text")} ||
            !object.value(QStringLiteral("Text")).isString()) {
            problem = QStringLiteral("an entry is not {\"Text\": string}");
            return {};
        }
        texts.append(object.value(QStringLiteral("Text")).toString());
    }
    return texts;
}

}  // namespace

struct FakeTranslatorServer::State {
    httplib::Server server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    TranslatorAnswer answer;
    QList<TranslatorRequest> requests;

    void handle(const httplib::Request &request, httplib::Response &response)
    {
        TranslatorRequest recorded;
        recorded.target = QByteArray::fromStdString(request.target);
        recorded.body = QByteArray::fromStdString(request.body);
        recorded.to = QString::fromStdString(request.get_param_value("to"));

        QString problem;
        if (request.path != "/translate")
            problem = QStringLiteral("unexpected path %1").arg(QString::fromStdString(request.path));
        for (const auto &[name, expected] : {std::pair{"Content-Type", QByteArrayLiteral("application/json")},
                                             std::pair{"Ocp-Apim-Subscription-Key", expectedKey},
                                             std::pair{"Ocp-Apim-Subscription-Region", expectedRegion}}) {
            if (problem.isEmpty())
                problem = headerProblem(request, name, expected);
        }
        if (problem.isEmpty())
            problem = queryProblem(request);
        if (problem.isEmpty())
            recorded.texts = textsOf(recorded.body, problem);
        recorded.rejection = problem;

        TranslatorAnswer current;
        {
            const std::lock_guard lock(mutex);
            requests.append(recorded);
            current = answer;
        }
        if (!problem.isEmpty()) {
            response.status = 400;
            response.set_content(QJsonDocument(QJsonObject{{QStringLiteral("error"), problem}})
                                     .toJson(QJsonDocument::Compact)
                                     .toStdString(),
                                 "application/json; charset=utf-8");
            return;
        }

        QByteArray body;
        if (current.body) {
            body = *current.body;
        } else {
            QJsonArray containers;
            for (const QString &text : recorded.texts) {
                QJsonArray translations;
                for (int index = 0; index < current.translationsPerText; ++index)
                    translations.append(QJsonObject{{QStringLiteral("text"), translated(text, recorded.to, index)},
                                                    {QStringLiteral("to"), recorded.to}});
                containers.append(QJsonObject{
                    {QStringLiteral("detectedLanguage"),
                     QJsonObject{{QStringLiteral("language"), QStringLiteral("en")}, {QStringLiteral("score"), 1.0}}},
                    {QStringLiteral("translations"), translations}});
            }
            body = QJsonDocument(containers).toJson(QJsonDocument::Compact);
        }
        response.status = current.status;
        response.set_content(body.toStdString(), "application/json; charset=utf-8");
    }
};

FakeTranslatorServer::FakeTranslatorServer(quint16 port) : d(std::make_unique<State>())
{
    d->server.Post(".*", [this](const httplib::Request &request, httplib::Response &response) {
        d->handle(request, response);
    });
    d->port = startOnLoopback(d->server, d->thread, port, "the fake translation service");
}

FakeTranslatorServer::~FakeTranslatorServer()
{
    stopOnLoopback(d->server, d->thread, quint16(d->port));
}

QString FakeTranslatorServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(d->port);
}

void FakeTranslatorServer::setAnswer(const TranslatorAnswer &answer)
{
    const std::lock_guard lock(d->mutex);
    d->answer = answer;
}

QList<TranslatorRequest> FakeTranslatorServer::requests() const
{
    const std::lock_guard lock(d->mutex);
    return d->requests;
}

QString FakeTranslatorServer::translated(const QString &text, const QString &to, int index)
{
    return (index == 0 ? to : to + u'#' + QString::number(index)) + u':' + text;
}

}  // namespace fakes
