#include "TestCrypto.h"

#include <QJsonDocument>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace fakes {

namespace {

using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;
using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

QByteArray drain(BIO *bio)
{
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return QByteArray(data, qsizetype(length));
}

[[noreturn]] void fail(const char *what)
{
    ERR_clear_error();
    throw std::runtime_error(what);
}

PKey readPrivate(const QByteArray &pem)
{
    Bio bio(BIO_new_mem_buf(pem.constData(), int(pem.size())), &BIO_free);
    PKey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    if (!key)
        fail("unreadable private key");
    return key;
}

std::optional<QByteArray> fromBase64Url(const QByteArray &text)
{
    const auto result = QByteArray::fromBase64Encoding(
        text, QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals
                  | QByteArray::AbortOnBase64DecodingErrors);
    if (!result || text.contains('='))
        return std::nullopt;
    return *result;
}

}  // namespace

KeyPair generateKeyPair(KeyKind kind, PemForm form)
{
    PKey key(kind == KeyKind::rsa ? EVP_RSA_gen(2048) : EVP_EC_gen(kind == KeyKind::p256 ? "P-256" : "P-384"),
             &EVP_PKEY_free);
    if (!key)
        fail("key generation failed");

    Bio privateBio(BIO_new(BIO_s_mem()), &BIO_free);
    bool written = false;
    if (form == PemForm::sec1 && kind != KeyKind::rsa) {
        written = PEM_write_bio_PrivateKey_traditional(privateBio.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                                       nullptr);
    } else {
        written = PEM_write_bio_PKCS8PrivateKey(privateBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    }
    Bio publicBio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!written || !PEM_write_bio_PUBKEY(publicBio.get(), key.get()))
        fail("key export failed");
    return {drain(privateBio.get()), drain(publicBio.get())};
}

QByteArray encryptedPem(const QByteArray &privatePem, const QByteArray &passphrase)
{
    const PKey key = readPrivate(privatePem);
    Bio bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!PEM_write_bio_PKCS8PrivateKey(bio.get(), key.get(), EVP_aes_256_cbc(), passphrase.constData(),
                                       int(passphrase.size()), nullptr, nullptr))
        fail("key encryption failed");
    return drain(bio.get());
}

PublicKey::PublicKey(const QByteArray &publicPem)
{
    Bio bio(BIO_new_mem_buf(publicPem.constData(), int(publicPem.size())), &BIO_free);
    m_key.reset(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    if (!m_key)
        fail("unreadable public key");
}

bool PublicKey::verifyEs256(const QByteArray &signingInput, const QByteArray &joseSignature) const
{
    if (joseSignature.size() != 64)
        return false;

    // r || s back to the DER form that OpenSSL verifies.
    std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> signature(ECDSA_SIG_new(), &ECDSA_SIG_free);
    const auto *bytes = reinterpret_cast<const unsigned char *>(joseSignature.constData());
    BIGNUM *r = BN_bin2bn(bytes, 32, nullptr);
    BIGNUM *s = BN_bin2bn(bytes + 32, 32, nullptr);
    if (!signature || !r || !s || !ECDSA_SIG_set0(signature.get(), r, s)) {
        BN_free(r);
        BN_free(s);
        ERR_clear_error();
        return false;
    }
    unsigned char *der = nullptr;
    const int derLength = i2d_ECDSA_SIG(signature.get(), &der);
    if (derLength <= 0) {
        ERR_clear_error();
        return false;
    }

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    const bool valid =
        context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, m_key.get()) == 1
        && EVP_DigestVerify(context.get(), der, size_t(derLength),
                            reinterpret_cast<const unsigned char *>(signingInput.constData()),
                            size_t(signingInput.size()))
               == 1;
    OPENSSL_free(der);
    ERR_clear_error();
    return valid;
}

bool verifyEs256(const QByteArray &publicPem, const QByteArray &signingInput, const QByteArray &joseSignature)
{
    try {
        return PublicKey(publicPem).verifyEs256(signingInput, joseSignature);
    } catch (const std::runtime_error &) {
        return false;
    }
}

LoopbackCertificate makeLoopbackCertificate()
{
    std::shared_ptr<EVP_PKEY> key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    std::shared_ptr<X509> certificate(X509_new(), &X509_free);
    if (!key || !certificate)
        fail("certificate generation failed");
    X509 *x509 = certificate.get();
    X509_set_version(x509, X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509), -60);
    X509_gmtime_adj(X509_getm_notAfter(x509), 3600);
    X509_set_pubkey(x509, key.get());
    X509_NAME *name = X509_get_subject_name(x509);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("127.0.0.1"), -1,
                               -1, 0);
    X509_set_issuer_name(x509, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x509, x509, nullptr, nullptr, 0);
    std::unique_ptr<X509_EXTENSION, decltype(&X509_EXTENSION_free)> alternative(
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1"), &X509_EXTENSION_free);
    if (!alternative || !X509_add_ext(x509, alternative.get(), -1) || X509_sign(x509, key.get(), EVP_sha256()) <= 0)
        fail("certificate signing failed");

    Bio bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!PEM_write_bio_X509(bio.get(), x509))
        fail("certificate export failed");
    return {certificate, key, drain(bio.get())};
}

std::optional<DecodedToken> decodeToken(const QByteArray &token)
{
    const QList<QByteArray> parts = token.split('.');
    if (parts.size() != 3)
        return std::nullopt;
    const auto header = fromBase64Url(parts[0]);
    const auto claims = fromBase64Url(parts[1]);
    const auto signature = fromBase64Url(parts[2]);
    if (!header || !claims || !signature)
        return std::nullopt;
    const QJsonDocument headerJson = QJsonDocument::fromJson(*header);
    const QJsonDocument claimsJson = QJsonDocument::fromJson(*claims);
    if (!headerJson.isObject() || !claimsJson.isObject())
        return std::nullopt;
    return DecodedToken{headerJson.object(), claimsJson.object(), parts[0] + '.' + parts[1], *signature};
}

}  // namespace fakes
