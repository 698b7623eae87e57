#include "platform/Analytics.h"

#include "platform/CrashHandler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QStandardPaths>
#include <atomic>
#include <map>

namespace platform {
namespace {

struct State {
    QMutex mutex;
    std::map<int, Analytics::Observer> observers;
    int nextToken = 1;
    QFile file;
    std::atomic<bool> started{false};
};

State &state()
{
    static State *s = new State;  // never destroyed: events may arrive during static teardown
    return *s;
}

QString dataFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("analytics"));
}

QByteArray encode(const Analytics::Event &event)
{
    QJsonObject properties;
    for (auto it = event.properties.cbegin(); it != event.properties.cend(); ++it)
        properties.insert(it.key(), it.value());
    QJsonObject line{{QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                     {QStringLiteral("name"), event.name}};
    if (!properties.isEmpty())
        line.insert(QStringLiteral("properties"), properties);
    return QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
}

void send(const Analytics::Event &event)
{
    State &s = state();
    std::vector<Analytics::Observer> observers;
    {
        QMutexLocker lock(&s.mutex);
        if (!s.file.isOpen()) {
            QDir().mkpath(dataFolder());
            s.file.setFileName(Analytics::eventsFilePath());
            // Unbuffered append: each line goes out in one write, whole, even with another writer.
            if (!s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
                qWarning("Analytics: cannot open %s: %s", qPrintable(s.file.fileName()),
                         qPrintable(s.file.errorString()));
        }
        if (s.file.isOpen())
            s.file.write(encode(event));
        for (const auto &[token, observer] : s.observers)
            observers.push_back(observer);
    }
    for (const auto &observer : observers)
        observer(event);
}

}  // namespace

void Analytics::start(const QString &appSecret, const QStringList &services)
{
    Q_UNUSED(appSecret);
    if (state().started.exchange(true))
        return;
    if (services.contains(crashesService))
        CrashHandler::install(crashesFolder());
}

bool Analytics::isStarted()
{
    return state().started.load();
}

void Analytics::trackEvent(const QString &name)
{
    send(Event{name, {}});
}

void Analytics::trackEvent(const QString &name, const Properties &properties)
{
    send(Event{name, properties});
}

int Analytics::addObserver(Observer observer)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    const int token = s.nextToken++;
    s.observers.emplace(token, std::move(observer));
    return token;
}

void Analytics::removeObserver(int token)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    s.observers.erase(token);
}

QString Analytics::eventsFilePath()
{
    return QDir(dataFolder()).filePath(QStringLiteral("events.jsonl"));
}

QString Analytics::crashesFolder()
{
    return QDir(dataFolder()).filePath(QStringLiteral("crashes"));
}

}  // namespace platform
