#include "PackageCrypto.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "ArchiveBytes.h"
#include "FileIo.h"
#include "OpenSslPtr.h"

namespace {

std::string OpenSslError(const std::string& what)
{
    unsigned long code = ERR_get_error();
    char text[256] = "";
    if (code)
        ERR_error_string_n(code, text, sizeof(text));
    ERR_clear_error();
    return code ? what + " (" + text + ")" : what;
}

using PkeyPtr = TOpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using X509Ptr = TOpenSslPtr<X509, X509_free>;
using MdCtxPtr = TOpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using BioPtr = TOpenSslPtr<BIO, BIO_free_all>;

bool AddExtension(X509* cert, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

} // namespace

bool GenerateKeyPair(const std::string& keyPath, const std::string& certPath,
                     const std::string& subject, int days, std::string& error)
{
    PkeyPtr key(EVP_RSA_gen(2048)); // public exponent 65537
    if (!key) {
        error = OpenSslError("cannot generate an RSA key");
        return false;
    }
    X509Ptr cert(X509_new());
    unsigned char serial[16];
    if (!cert || X509_set_version(cert.get(), 2) != 1) {
        error = OpenSslError("cannot make a certificate");
        return false;
    }
    // A random positive serial number.
    FILE* random = fopen("/dev/urandom", "rb");
    bool gotSerial = random && fread(serial, 1, sizeof(serial), random) == sizeof(serial);
    if (random)
        fclose(random);
    if (!gotSerial) {
        error = "cannot read /dev/urandom";
        return false;
    }
    serial[0] &= 0x7F;
    BIGNUM* serialNumber = BN_bin2bn(serial, sizeof(serial), nullptr);
    ASN1_INTEGER* asn1Serial = serialNumber ? BN_to_ASN1_INTEGER(serialNumber, nullptr) : nullptr;
    BN_free(serialNumber);
    bool ok = asn1Serial && X509_set_serialNumber(cert.get(), asn1Serial) == 1;
    ASN1_INTEGER_free(asn1Serial);

    X509_NAME* name = X509_get_subject_name(cert.get());
    ok = ok &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(subject.c_str()), -1, -1,
                                    0) == 1 &&
         X509_set_issuer_name(cert.get(), name) == 1 &&
         X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) &&
         X509_gmtime_adj(X509_getm_notAfter(cert.get()), static_cast<long>(days) * 86400) &&
         X509_set_pubkey(cert.get(), key.get()) == 1 &&
         AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
         AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature") &&
         AddExtension(cert.get(), NID_subject_key_identifier, "hash") &&
         X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
    if (!ok) {
        error = OpenSslError("cannot make the certificate");
        return false;
    }

    BioPtr pem(BIO_new(BIO_s_mem()));
    unsigned char* der = nullptr;
    int derBytes = i2d_X509(cert.get(), &der);
    if (!pem || derBytes <= 0 ||
        PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        OPENSSL_free(der);
        error = OpenSslError("cannot encode the key pair");
        return false;
    }
    Bytes certBytes(der, der + derBytes);
    OPENSSL_free(der);
    char* pemData = nullptr;
    long pemBytes = BIO_get_mem_data(pem.get(), &pemData);
    Bytes keyBytes(pemData, pemData + pemBytes);

    CAtomicFile keyFile, certFile;
    ok = keyFile.Open(keyPath, 0600, error) && keyFile.Write(keyBytes, error) &&
         certFile.Open(certPath, 0644, error) && certFile.Write(certBytes, error) &&
         keyFile.Commit(error) && certFile.Commit(error);
    Wipe(keyBytes);
    return ok;
}

CSigningKey::~CSigningKey()
{
    EVP_PKEY_free(m_key);
}

bool CSigningKey::Load(const std::string& pemPath, std::string& error)
{
    Bytes pem;
    if (!ReadWholeFile(pemPath, pem, error))
        return false;
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    EVP_PKEY_free(m_key);
    m_key = bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    Wipe(pem);
    if (!m_key) {
        error = pemPath + ": " + OpenSslError("not a PEM private key");
        return false;
    }
    if (EVP_PKEY_get_base_id(m_key) != EVP_PKEY_RSA || EVP_PKEY_get_bits(m_key) != 2048) {
        error = pemPath + ": not a 2048-bit RSA key";
        return false;
    }
    return true;
}

bool CSigningKey::Sign(const Bytes& data, Bytes& signature, std::string& error) const
{
    MdCtxPtr ctx(EVP_MD_CTX_new());
    size_t length = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha1(), nullptr, m_key) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length, data.data(), data.size()) != 1) {
        error = OpenSslError("cannot sign");
        return false;
    }
    signature.resize(length);
    if (EVP_DigestSign(ctx.get(), signature.data(), &length, data.data(), data.size()) != 1) {
        error = OpenSslError("cannot sign");
        return false;
    }
    signature.resize(length);
    std::reverse(signature.begin(), signature.end());
    return true;
}

CPackageCertificate::~CPackageCertificate()
{
    X509_free(m_cert);
}

bool CPackageCertificate::Load(const Bytes& der, std::string& error)
{
    X509_free(m_cert);
    const unsigned char* p = der.data();
    m_cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    if (!m_cert) {
        error = OpenSslError("not a DER certificate");
        return false;
    }
    EVP_PKEY* key = X509_get0_pubkey(m_cert);
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        error = "the certificate does not hold an RSA key";
        return false;
    }
    m_der = der;
    return true;
}

bool CPackageCertificate::Verify(const uint8_t* data, size_t size, const uint8_t* signature,
                                 size_t signatureSize) const
{
    if (!m_cert || !signature || !signatureSize)
        return false;
    Bytes bigEndian(signature, signature + signatureSize);
    std::reverse(bigEndian.begin(), bigEndian.end());
    MdCtxPtr ctx(EVP_MD_CTX_new());
    bool ok = ctx &&
              EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha1(), nullptr,
                                   X509_get0_pubkey(m_cert)) == 1 &&
              EVP_DigestVerify(ctx.get(), bigEndian.data(), bigEndian.size(), data, size) == 1;
    ERR_clear_error();
    return ok;
}

bool CPackageCertificate::Verify(const CArchiveBytes& data, const uint8_t* signature, size_t signatureSize) const
{
    const size_t PIECE = 1 << 20;
    if (!m_cert || !signature || !signatureSize)
        return false;
    Bytes bigEndian(signature, signature + signatureSize);
    std::reverse(bigEndian.begin(), bigEndian.end());
    MdCtxPtr ctx(EVP_MD_CTX_new());
    bool ok = ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha1(), nullptr, X509_get0_pubkey(m_cert)) == 1;
    Bytes window;
    for (uint64_t at = 0; ok && at < data.Size(); at += PIECE) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(PIECE, data.Size() - at));
        const uint8_t* bytes = data.Read(at, piece, window);
        ok = bytes && EVP_DigestVerifyUpdate(ctx.get(), bytes, piece) == 1;
    }
    ok = ok && EVP_DigestVerifyFinal(ctx.get(), bigEndian.data(), bigEndian.size()) == 1;
    ERR_clear_error();
    return ok;
}

bool CPackageCertificate::Matches(const CSigningKey& key) const
{
    return m_cert && key.Get() && EVP_PKEY_eq(X509_get0_pubkey(m_cert), key.Get()) == 1;
}

std::string CPackageCertificate::Subject() const
{
    if (!m_cert)
        return "";
    char text[512];
    X509_NAME_oneline(X509_get_subject_name(m_cert), text, sizeof(text));
    return text;
}

std::string CPackageCertificate::Fingerprint() const
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_cert || X509_digest(m_cert, EVP_sha256(), digest, &length) != 1)
        return "";
    std::string text;
    char hex[4];
    for (unsigned i = 0; i < length; ++i) {
        snprintf(hex, sizeof(hex), i ? ":%02X" : "%02X", digest[i]);
        text += hex;
    }
    return text;
}

int CPackageCertificate::KeyBits() const
{
    return m_cert ? EVP_PKEY_get_bits(X509_get0_pubkey(m_cert)) : 0;
}
