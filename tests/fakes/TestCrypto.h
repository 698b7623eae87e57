#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <openssl/types.h>

#include <memory>
#include <optional>

// Key material made at run time for tests and fakes; nothing here is ever committed.
namespace fakes {

enum class KeyKind { p256, p384, rsa };
enum class PemForm { pkcs8, sec1 };

struct KeyPair {
    QByteArray privatePem;
    QByteArray publicPem;
};

// A fresh key pair; sec1 ("EC PRIVATE KEY") applies to the elliptic-curve kinds only.
KeyPair generateKeyPair(KeyKind kind = KeyKind::p256, PemForm form = PemForm::pkcs8);

// The private key in PEM, encrypted with a pass phrase.
QByteArray encryptedPem(const QByteArray &privatePem, const QByteArray &passphrase);

// Checks a JOSE ES256 signature (64 bytes, r then s) with OpenSSL, independently of the signer.
bool verifyEs256(const QByteArray &publicPem, const QByteArray &signingInput, const QByteArray &joseSignature);

// A public key read once, for checking many signatures without reading the PEM each time.
class PublicKey {
public:
    // Throws std::runtime_error when the text is no PEM public key.
    explicit PublicKey(const QByteArray &publicPem);
    // Checks a JOSE ES256 signature (64 bytes, r then s); safe from any number of threads.
    bool verifyEs256(const QByteArray &signingInput, const QByteArray &joseSignature) const;

private:
    std::shared_ptr<EVP_PKEY> m_key;
};

// A self-signed certificate for the address 127.0.0.1, valid for an hour, with its key.
struct LoopbackCertificate {
    std::shared_ptr<X509> certificate;
    std::shared_ptr<EVP_PKEY> key;
    QByteArray pem;  // the certificate, for a client that is to trust it
};
LoopbackCertificate makeLoopbackCertificate();

// A decoded compact token; nothing is checked beyond its form.
struct DecodedToken {
    QJsonObject header;
    QJsonObject claims;
    QByteArray signingInput;
    QByteArray signature;
};
// Absent when the text is not three base64url parts holding two JSON objects.
std::optional<DecodedToken> decodeToken(const QByteArray &token);

}  // namespace fakes
