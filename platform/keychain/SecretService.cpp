// GLib's headers use "signals" as a member name, which Qt defines as a macro: they come first.
#include <libsecret/secret.h>

#include "platform/keychain/SecretService.h"

#include "platform/keychain/Keychain.h"

#include <memory>

namespace platform::SecretService {
namespace {

const SecretSchema schema = {
    "com.Vantorel.Keychain.GenericPassword",
    SECRET_SCHEMA_NONE,
    {
        {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"key", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
    },
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

struct ErrorFree {
    void operator()(GError *error) const { g_error_free(error); }
};
struct ValueUnref {
    void operator()(SecretValue *value) const { secret_value_unref(value); }
};

// Failures to reach the service at all, as opposed to the service refusing a request.
bool isUnreachable(const GError *error)
{
    if (error->domain == G_IO_ERROR)  // no bus socket, no autolaunch, connection closed or timed out
        return error->code != G_IO_ERROR_CANCELLED;
    if (error->domain != G_DBUS_ERROR)
        return false;
    switch (error->code) {
    case G_DBUS_ERROR_SERVICE_UNKNOWN:
    case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
    case G_DBUS_ERROR_NO_REPLY:
    case G_DBUS_ERROR_TIMEOUT:
    case G_DBUS_ERROR_TIMED_OUT:
    case G_DBUS_ERROR_NO_SERVER:
    case G_DBUS_ERROR_DISCONNECTED:
    case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
    case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
    case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
    case G_DBUS_ERROR_SPAWN_FAILED:
    case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void fail(GError *rawError, const char *fallback)
{
    const std::unique_ptr<GError, ErrorFree> error(rawError);
    if (!error || !error->message || !*error->message)
        throw Error(KeychainError::domain, KeychainError::ServiceFailure, QString::fromUtf8(fallback));
    const QString message = QString::fromUtf8(error->message);
    if (isUnreachable(error.get()))
        throw Error(KeychainError::domain, KeychainError::ServiceUnavailable,
                    QStringLiteral("The Secret Service is not reachable: %1").arg(message));
    throw Error(KeychainError::domain, KeychainError::ServiceFailure, message);
}

}  // namespace

void store(const QString &service, const QString &key, const QByteArray &value, ContentType type)
{
    const QByteArray serviceUtf8 = service.toUtf8();
    const QByteArray keyUtf8 = key.toUtf8();
    const QByteArray label = serviceUtf8 + ' ' + keyUtf8;
    // The value is copied into libsecret's own (non-pageable) memory.
    const std::unique_ptr<SecretValue, ValueUnref> secret(
        secret_value_new(value.isEmpty() ? "" : value.constData(), value.size(),
                         type == ContentType::Text ? "text/plain" : "application/octet-stream"));

    GError *error = nullptr;
    // No collection given: the default one (the "login" keyring of a desktop session).
    const gboolean stored = secret_password_store_binary_sync(
        &schema, nullptr, label.constData(), secret.get(), nullptr, &error, "service",
        serviceUtf8.constData(), "key", keyUtf8.constData(), nullptr);
    if (!stored || error)
        fail(error, "The keychain item could not be saved.");
}

std::optional<QByteArray> lookup(const QString &service, const QString &key)
{
    const QByteArray serviceUtf8 = service.toUtf8();
    const QByteArray keyUtf8 = key.toUtf8();
    GError *error = nullptr;
    const std::unique_ptr<SecretValue, ValueUnref> secret(secret_password_lookup_binary_sync(
        &schema, nullptr, &error, "service", serviceUtf8.constData(), "key", keyUtf8.constData(),
        nullptr));
    if (error)
        fail(error, "The keychain item could not be read.");
    if (!secret)
        return std::nullopt;
    gsize length = 0;
    const gchar *bytes = secret_value_get(secret.get(), &length);
    return QByteArray(bytes ? bytes : "", bytes ? qsizetype(length) : 0);
}

}  // namespace platform::SecretService
