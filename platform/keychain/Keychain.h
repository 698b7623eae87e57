#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace platform {

namespace KeychainError {
inline const QString domain = QStringLiteral("platform.Keychain");

enum Code : qint64 {
    // The secret store refused or could not be reached; the text is the store's own message.
    ServiceFailure = 1,
    // A text was asked for, but the stored value is not UTF-8.
    NotText = 2,
    // No session bus, or no Secret Service on it.
    ServiceUnavailable = 3,
};
}  // namespace KeychainError

// Generic passwords of one service, kept in the Secret Service (libsecret) under the
// attributes "service" and "key". Every call is synchronous, may run on any thread and throws
// platform::Error on failure; a missing item is not a failure but an empty optional.
class Keychain {
public:
    explicit Keychain(QString service);

    const QString &service() const noexcept { return m_service; }

    // Storing under a key that already holds a value replaces it.
    void setText(const QString &key, const QString &value) const;
    void setData(const QString &key, const QByteArray &value) const;

    std::optional<QString> text(const QString &key) const;
    std::optional<QByteArray> data(const QString &key) const;

    // Switches the whole process to an empty in-memory store, for unit tests only.
    static void useInMemoryBackendForTesting();
    // Forgets every in-memory item and any armed failure.
    static void resetInMemoryBackendForTesting();
    // Lets `callsToPass` further calls of the in-memory store succeed, then fails the next one
    // with `message` (code ServiceFailure); later calls succeed again.
    static void failNextCallForTesting(const QString &message, int callsToPass = 0);
    // Calls `observer` on the calling thread at every call of the in-memory store, before the
    // call's work and without holding up other threads' calls (nothing clears it).
    static void observeCallsForTesting(std::function<void()> observer);

private:
    QString m_service;
};

}  // namespace platform
