#include "platform/keychain/Keychain.h"

#include "platform/keychain/SecretService.h"

#include <QHash>
#include <QMutex>
#include <QStringDecoder>
#include <atomic>

namespace platform {
namespace {

// Process-wide stand-in for the Secret Service, used only once a test has asked for it.
struct InMemoryStore {
    QMutex mutex;
    QHash<QPair<QString, QString>, QByteArray> items;
    int callsBeforeFailure = -1;  // -1: no failure armed
    QString failureMessage;
    std::function<void()> observer;

    // Tells the observer of one call. Outside the mutex, so that an observer that holds one call
    // back (a slow keyring) holds back no other thread's calls.
    void observeCall()
    {
        std::function<void()> observing;
        {
            const QMutexLocker lock(&mutex);
            observing = observer;
        }
        if (observing)
            observing();
    }

    // Counts one call; throws when it is the armed failure. Caller holds the mutex.
    void checkArmedFailure()
    {
        if (callsBeforeFailure < 0)
            return;
        if (callsBeforeFailure-- > 0)
            return;
        throw Error(KeychainError::domain, KeychainError::ServiceFailure, failureMessage);
    }
};

std::atomic<bool> inMemory{false};

InMemoryStore &memoryStore()
{
    static InMemoryStore store;
    return store;
}

void storeValue(const QString &service, const QString &key, const QByteArray &value,
                SecretService::ContentType type)
{
    if (!inMemory.load()) {
        SecretService::store(service, key, value, type);
        return;
    }
    InMemoryStore &store = memoryStore();
    store.observeCall();
    QMutexLocker lock(&store.mutex);
    store.checkArmedFailure();
    store.items.insert({service, key}, value);
}

std::optional<QByteArray> lookupValue(const QString &service, const QString &key)
{
    if (!inMemory.load())
        return SecretService::lookup(service, key);
    InMemoryStore &store = memoryStore();
    store.observeCall();
    QMutexLocker lock(&store.mutex);
    store.checkArmedFailure();
    const auto found = store.items.constFind({service, key});
    if (found == store.items.cend())
        return std::nullopt;
    return *found;
}

}  // namespace

Keychain::Keychain(QString service) : m_service(std::move(service)) {}

void Keychain::setText(const QString &key, const QString &value) const
{
    storeValue(m_service, key, value.toUtf8(), SecretService::ContentType::Text);
}

void Keychain::setData(const QString &key, const QByteArray &value) const
{
    storeValue(m_service, key, value, SecretService::ContentType::Binary);
}

std::optional<QString> Keychain::text(const QString &key) const
{
    const std::optional<QByteArray> bytes = lookupValue(m_service, key);
    if (!bytes)
        return std::nullopt;
    // Silently replacing bad bytes would hand the caller a value that was never stored.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(*bytes);
    if (decoder.hasError())
        throw Error(KeychainError::domain, KeychainError::NotText,
                    QStringLiteral("The keychain item \"%1\" does not hold UTF-8 text.").arg(key));
    return decoded;
}

std::optional<QByteArray> Keychain::data(const QString &key) const
{
    return lookupValue(m_service, key);
}

void Keychain::useInMemoryBackendForTesting()
{
    resetInMemoryBackendForTesting();
    inMemory.store(true);
}

void Keychain::resetInMemoryBackendForTesting()
{
    InMemoryStore &store = memoryStore();
    QMutexLocker lock(&store.mutex);
    store.items.clear();
    store.callsBeforeFailure = -1;
    store.failureMessage.clear();
}

void Keychain::failNextCallForTesting(const QString &message, int callsToPass)
{
    InMemoryStore &store = memoryStore();
    QMutexLocker lock(&store.mutex);
    store.callsBeforeFailure = qMax(0, callsToPass);
    store.failureMessage = message;
}

void Keychain::observeCallsForTesting(std::function<void()> observer)
{
    InMemoryStore &store = memoryStore();
    QMutexLocker lock(&store.mutex);
    store.observer = std::move(observer);
}

}  // namespace platform
