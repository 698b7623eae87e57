#include "platform/jwt/Es256.h"

#include "platform/Error.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QMutex>

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <vector>

namespace platform::jwt {

namespace {

constexpr int coordinateSize = 32;

// Our sentence followed by OpenSSL's text for the most recent failure on this thread, when it
// has one. The queue is emptied so that the next call starts clean.
QString openSslFailure(const char *sentence)
{
    unsigned long code = 0;
    unsigned long last = 0;
    while ((code = ERR_get_error()) != 0)
        last = code;
    QString text = QCoreApplication::translate("platform::jwt", sentence);
    if (last == 0)
        return text;
    char buffer[256] = {};
    ERR_error_string_n(last, buffer, sizeof buffer);
    if (text.endsWith(u'.'))
        text.chop(1);
    return QStringLiteral("%1 (%2).").arg(text, QString::fromUtf8(buffer));
}

Error keyError(const char *fallback)
{
    return Error(errorDomain, InvalidPrivateKey, openSslFailure(fallback));
}

// An encrypted key must fail, not wait for a pass phrase on the terminal.
int noPassphrase(char *, int, int, void *)
{
    return -1;
}

}  // namespace

struct Es256Signer::Key {
    EVP_PKEY *pkey = nullptr;
    ~Key() { EVP_PKEY_free(pkey); }
};

QByteArray base64Url(const QByteArray &bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

Es256Signer::Es256Signer(const QByteArray &pemPrivateKey) : m_key(std::make_unique<Key>())
{
    ERR_clear_error();
    BIO *bio = BIO_new_mem_buf(pemPrivateKey.constData(), int(pemPrivateKey.size()));
    if (!bio)
        throw keyError("The private key could not be read.");
    m_key->pkey = PEM_read_bio_PrivateKey(bio, nullptr, &noPassphrase, nullptr);
    BIO_free(bio);
    if (!m_key->pkey)
        throw keyError("The key file does not hold a PEM private key.");

    char group[64] = {};
    size_t groupLength = 0;
    const bool isP256 = EVP_PKEY_is_a(m_key->pkey, "EC")
                        && EVP_PKEY_get_utf8_string_param(m_key->pkey, OSSL_PKEY_PARAM_GROUP_NAME, group,
                                                          sizeof group, &groupLength)
                        && QByteArray(group, qsizetype(groupLength)) == SN_X9_62_prime256v1;
    if (!isP256) {
        ERR_clear_error();
        throw Error(errorDomain, InvalidPrivateKey,
                    QCoreApplication::translate("platform::jwt", "The key file does not hold a P-256 (ES256) private key."));
    }
}

Es256Signer::~Es256Signer() = default;
Es256Signer::Es256Signer(Es256Signer &&) noexcept = default;
Es256Signer &Es256Signer::operator=(Es256Signer &&) noexcept = default;

QByteArray Es256Signer::sign(const QByteArray &signingInput) const
{
    ERR_clear_error();
    auto failure = [] {
        return Error(errorDomain, SigningFailed, openSslFailure("The token could not be signed."));
    };

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, m_key->pkey) != 1)
        throw failure();
    const auto *input = reinterpret_cast<const unsigned char *>(signingInput.constData());
    size_t derLength = 0;
    if (EVP_DigestSign(context.get(), nullptr, &derLength, input, size_t(signingInput.size())) != 1)
        throw failure();
    QByteArray der(qsizetype(derLength), Qt::Uninitialized);
    auto *derBytes = reinterpret_cast<unsigned char *>(der.data());
    if (EVP_DigestSign(context.get(), derBytes, &derLength, input, size_t(signingInput.size())) != 1)
        throw failure();

    // DER SEQUENCE { r, s } to the fixed-width r || s that JOSE expects.
    const unsigned char *cursor = derBytes;
    std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> signature(
        d2i_ECDSA_SIG(nullptr, &cursor, long(derLength)), &ECDSA_SIG_free);
    if (!signature)
        throw failure();
    const BIGNUM *r = nullptr;
    const BIGNUM *s = nullptr;
    ECDSA_SIG_get0(signature.get(), &r, &s);
    QByteArray jose(2 * coordinateSize, '\0');
    auto *out = reinterpret_cast<unsigned char *>(jose.data());
    if (BN_bn2binpad(r, out, coordinateSize) != coordinateSize
        || BN_bn2binpad(s, out + coordinateSize, coordinateSize) != coordinateSize)
        throw failure();
    return jose;
}

namespace {

struct KeptKeys {
    QMutex mutex;
    // The most recently used first; a linear search over a handful of keys is cheaper than hashing.
    std::vector<std::pair<QByteArray, std::shared_ptr<const Es256Signer>>> signers;

    std::shared_ptr<const Es256Signer> find(const QByteArray &pem)
    {
        const auto found = std::find_if(signers.begin(), signers.end(), [&](const auto &kept) { return kept.first == pem; });
        if (found == signers.end())
            return nullptr;
        std::rotate(signers.begin(), found, std::next(found));
        return signers.front().second;
    }
};

KeptKeys &keptKeys()
{
    static KeptKeys *kept = new KeptKeys;  // used from pool threads until the process ends
    return *kept;
}

}  // namespace

std::shared_ptr<const Es256Signer> Es256Signer::forKey(const QByteArray &pemPrivateKey)
{
    KeptKeys &kept = keptKeys();
    {
        const QMutexLocker locker(&kept.mutex);
        if (auto signer = kept.find(pemPrivateKey))
            return signer;
    }
    // Read outside the lock: other keys are not held up, and two threads reading the same new
    // key at once is only some wasted work.
    auto signer = std::make_shared<const Es256Signer>(pemPrivateKey);
    const QMutexLocker locker(&kept.mutex);
    if (auto earlier = kept.find(pemPrivateKey))
        return earlier;
    kept.signers.insert(kept.signers.begin(), {pemPrivateKey, signer});
    if (kept.signers.size() > size_t(keptKeyLimit))
        kept.signers.pop_back();
    return signer;
}

int Es256Signer::keptKeyCount()
{
    KeptKeys &kept = keptKeys();
    const QMutexLocker locker(&kept.mutex);
    return int(kept.signers.size());
}

QString signCompact(QJsonObject header, const QJsonObject &claims, const QByteArray &pemPrivateKey)
{
    const std::shared_ptr<const Es256Signer> signer = Es256Signer::forKey(pemPrivateKey);
    header.insert(QStringLiteral("alg"), QStringLiteral("ES256"));
    const QByteArray signingInput = base64Url(QJsonDocument(header).toJson(QJsonDocument::Compact)) + '.'
                                    + base64Url(QJsonDocument(claims).toJson(QJsonDocument::Compact));
    return QString::fromLatin1(signingInput + '.' + base64Url(signer->sign(signingInput)));
}

}  // namespace platform::jwt
