#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <memory>

namespace platform::jwt {

// Failures of key handling and signing; the description is OpenSSL's own text where it has one.
inline const QString errorDomain = QStringLiteral("platform.JWT");
enum ErrorCode : qint64 { InvalidPrivateKey = 1, SigningFailed = 2 };

// Base64url without padding, as JSON Web Tokens use it.
QByteArray base64Url(const QByteArray &bytes);

// An ES256 signer for one P-256 private key given as PEM (PKCS#8 or SEC1). Construction fails
// with InvalidPrivateKey for anything else, so that a bad key is found before any traffic.
class Es256Signer {
public:
    explicit Es256Signer(const QByteArray &pemPrivateKey);
    ~Es256Signer();
    Es256Signer(Es256Signer &&) noexcept;
    Es256Signer &operator=(Es256Signer &&) noexcept;

    // The 64-byte JOSE signature (r then s, 32 bytes each) over the SHA-256 of the input. Safe
    // from any number of threads at once.
    QByteArray sign(const QByteArray &signingInput) const;

    // The signer for a key, read from the PEM once and then kept, so that signing for the same
    // credentials again does not read the key again. A few of the most recently used keys are
    // kept; a key that cannot be read is never kept and fails again on every call.
    static std::shared_ptr<const Es256Signer> forKey(const QByteArray &pemPrivateKey);
    static constexpr int keptKeyLimit = 16;
    static int keptKeyCount();

private:
    struct Key;
    std::unique_ptr<Key> m_key;
};

// A compact token: header (with "alg" "ES256" added), claims and signature, each base64url,
// joined by dots. The JSON is written compactly; every call signs afresh, with the kept key.
QString signCompact(QJsonObject header, const QJsonObject &claims, const QByteArray &pemPrivateKey);

}  // namespace platform::jwt
