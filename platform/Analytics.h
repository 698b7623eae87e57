#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>

namespace platform {

// Stand-in for the crash-reporting and analytics service. Events are appended as JSON lines to
// a file in the application's data folder; in-process observers see each event as it is sent.
// Every call is safe from any thread and also works before start().
class Analytics {
public:
    using Properties = QMap<QString, QString>;
    struct Event {
        QString name;
        Properties properties;
    };
    using Observer = std::function<void(const Event &)>;

    static inline const QString analyticsService = QStringLiteral("Analytics");
    static inline const QString crashesService = QStringLiteral("Crashes");

    // The secret identifies the application to the service; it is never written anywhere.
    // With the "Crashes" service a fatal signal leaves a short report in crashesFolder().
    static void start(const QString &appSecret, const QStringList &services);
    static bool isStarted();

    static void trackEvent(const QString &name);
    static void trackEvent(const QString &name, const Properties &properties);

    static int addObserver(Observer observer);
    static void removeObserver(int token);

    static QString eventsFilePath();
    static QString crashesFolder();
};

}  // namespace platform
