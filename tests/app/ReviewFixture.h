#pragma once

// Reviews in the process's shared store, as the review lists get them: rows of one account, app
// and version, turned into records through the view context.

#include "Fennick/Account.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/Records/StoreApp.h"
#include "Fennick/Records/StoreReview.h"
#include "app/models/ReviewList.h"
#include "platform/Analytics.h"

#include <QtTest>
#include <mutex>

namespace fixture {

using Fennick::ManagedReview;
using platform::store::Context;
using platform::store::ObjectId;

struct Seed {
    QString identifier{};
    QString title = QStringLiteral("Great");
    QString body = QStringLiteral("Works well");
    QString nickname = QStringLiteral("Robin");
    QString territory = QStringLiteral("USA");
    std::optional<QString> language{};
    qint64 rating = 4;
    bool isNew = false;
    std::optional<QString> responseText{};
    std::optional<QString> responseIdentifier{};
    std::optional<QString> translatedBody{};
    std::optional<QString> translatedTitle{};
    QDateTime created = QDateTime(QDate(2024, 1, 2), QTime(18, 19, 36), Qt::UTC);
    std::optional<ObjectId> version{};  // the store's first version when absent
};

inline Context &viewContext()
{
    return Fennick::PersistenceController::shared().container().viewContext();
}

// One account with one app and one version. With `credentials` the key goes to the keychain under
// the account row, as the application keeps it; without, the account has no key at all.
class ReviewStore {
public:
    explicit ReviewStore(const std::optional<Fennick::Credentials> &credentials = std::nullopt,
                         const QString &appName = QStringLiteral("Demo"),
                         const QString &versionName = QStringLiteral("2.1"))
        : m_appName(appName)
    {
        Context &context = viewContext();
        auto *account = context.insert<Fennick::ManagedAccount>();
        account->setName(QStringLiteral("Account"));
        account->setIssuerId(QString());
        account->setKeyId(QString());
        auto *app = context.insert<Fennick::ManagedApp>();
        app->setName(appName);
        app->setIdentifier(QStringLiteral("app-") + appName);
        app->setAccount(account);
        auto *version = context.insert<Fennick::ManagedAppVersion>();
        version->setVersion(versionName);
        version->setIdentifier(QStringLiteral("version-") + versionName);
        version->setApp(app);
        version->setAccount(account);
        context.save();
        accountId = account->objectId();
        appId = app->objectId();
        versionId = version->objectId();
        if (credentials) {
            Fennick::Account keyed(std::nullopt, QStringLiteral("Account"), credentials->issId, credentials->keyId,
                                   credentials->p8);
            if (!keyed.saveToKeychain(accountId.uriString()))
                qFatal("keychain write failed");
        }
    }

    ObjectId addVersion(const QString &name)
    {
        Context &context = viewContext();
        auto *version = context.insert<Fennick::ManagedAppVersion>();
        version->setVersion(name);
        version->setIdentifier(QStringLiteral("version-") + name);
        version->setApp(context.existingObject<Fennick::ManagedApp>(appId));
        version->setAccount(context.existingObject<Fennick::ManagedAccount>(accountId));
        context.save();
        return version->objectId();
    }

    Fennick::StoreApp app() const
    {
        return Fennick::StoreApp{appId, QStringLiteral("app-") + m_appName, m_appName, {}, false};
    }

    std::shared_ptr<Fennick::Account> account() const
    {
        return std::make_shared<Fennick::Account>(*viewContext().existingObject<Fennick::ManagedAccount>(accountId));
    }

    ObjectId add(const Seed &seed)
    {
        Context &context = viewContext();
        auto *row = context.insert<ManagedReview>();
        row->setIdentifier(seed.identifier.isEmpty() ? QStringLiteral("review-%1").arg(++m_count) : seed.identifier);
        row->setTitle(seed.title);
        row->setBody(seed.body);
        row->setNickname(seed.nickname);
        row->setTerritory(seed.territory);
        row->setLanguage(seed.language);
        row->setRating(seed.rating);
        row->setIsNew(seed.isNew);
        row->setResponseText(seed.responseText);
        row->setResponseIdentifier(seed.responseIdentifier);
        row->setTranslatedBody(seed.translatedBody);
        row->setTranslatedTitle(seed.translatedTitle);
        row->setCreated(seed.created);
        row->setAccount(context.existingObject<Fennick::ManagedAccount>(accountId));
        row->setApp(context.existingObject<Fennick::ManagedApp>(appId));
        row->setVersion(context.existingObject<Fennick::ManagedAppVersion>(seed.version.value_or(versionId)));
        context.save();
        return row->objectId();
    }

    ObjectId accountId;
    ObjectId appId;
    ObjectId versionId;

private:
    QString m_appName;
    int m_count = 0;
};

// A record made from the row as a list would make it.
inline std::shared_ptr<Fennick::StoreReview> record(const ObjectId &id)
{
    auto *row = viewContext().existingObject<ManagedReview>(id);
    if (!row)
        qFatal("no review row");
    return std::make_shared<Fennick::StoreReview>(*row);
}

// The row as another context reads it from the file: what was saved, not what is pending.
struct SavedRow {
    std::optional<QString> responseText, responseIdentifier, translatedBody, translatedTitle;
    bool isNew = false;
};
inline SavedRow savedRow(const ObjectId &id)
{
    return Fennick::PersistenceController::shared().container().performBackgroundTask([id](Context &context) {
        const auto *row = context.existingObject<ManagedReview>(id);
        if (!row)
            qFatal("no saved review row");
        return SavedRow{row->responseText(), row->responseIdentifier(), row->translatedBody(), row->translatedTitle(),
                        row->isNew()};
    }).result();
}

// Analytics events and log lines of the categories "Vantorel.*", from any thread.
class Recorder {
public:
    struct Line {
        QtMsgType type;
        QString category;
        QString message;
    };

    static Recorder &instance()
    {
        static Recorder recorder;
        return recorder;
    }

    void install()
    {
        s_previous = qInstallMessageHandler(&Recorder::handle);
        platform::Analytics::addObserver([this](const platform::Analytics::Event &event) {
            const std::lock_guard lock(m_mutex);
            m_events.append(event);
        });
    }
    void clear()
    {
        const std::lock_guard lock(m_mutex);
        m_events.clear();
        m_lines.clear();
    }
    QList<platform::Analytics::Event> events() const
    {
        const std::lock_guard lock(m_mutex);
        return m_events;
    }
    QStringList eventNames() const
    {
        QStringList names;
        for (const auto &event : events())
            names.append(event.name);
        return names;
    }
    QList<Line> lines() const
    {
        const std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        const QString category = QString::fromLatin1(context.category ? context.category : "");
        if (category.startsWith(QLatin1String("Vantorel."))) {
            Recorder &recorder = instance();
            const std::lock_guard lock(recorder.m_mutex);
            recorder.m_lines.append({type, category, message});
            return;
        }
        s_previous(type, context, message);
    }

    mutable std::mutex m_mutex;
    QList<platform::Analytics::Event> m_events;
    QList<Line> m_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

}  // namespace fixture
