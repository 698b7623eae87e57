#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The libsecret side of the keychain; kept apart so that GLib's headers meet no Qt macros.
namespace platform::SecretService {

enum class ContentType { Text, Binary };

// Both throw platform::Error with the service's message on failure.
void store(const QString &service, const QString &key, const QByteArray &value, ContentType type);
std::optional<QByteArray> lookup(const QString &service, const QString &key);

}  // namespace platform::SecretService
