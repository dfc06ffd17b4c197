// Keys, certificates and signatures of packages, through OpenSSL.
// Signatures are RSA PKCS #1 v1.5 over SHA-1 and are stored least
// significant byte first, the order the setup program's CryptoAPI takes.
#pragma once

#include <string>

#include "Bytes.h"

class CArchiveBytes;
typedef struct evp_pkey_st EVP_PKEY;
typedef struct x509_st X509;

// Writes `keyPath` (RSA 2048 private key, PEM, mode 0600) and `certPath`
// (self-signed X.509 v3 certificate, DER) for `subject`.
bool GenerateKeyPair(const std::string& keyPath, const std::string& certPath,
                     const std::string& subject, int days, std::string& error);

class CSigningKey {
public:
    CSigningKey() = default;
    ~CSigningKey();
    CSigningKey(const CSigningKey&) = delete;
    CSigningKey& operator=(const CSigningKey&) = delete;

    bool Load(const std::string& pemPath, std::string& error);
    bool Sign(const Bytes& data, Bytes& signature, std::string& error) const;
    EVP_PKEY* Get() const { return m_key; }

private:
    EVP_PKEY* m_key = nullptr;
};

class CPackageCertificate {
public:
    CPackageCertificate() = default;
    ~CPackageCertificate();
    CPackageCertificate(const CPackageCertificate&) = delete;
    CPackageCertificate& operator=(const CPackageCertificate&) = delete;

    bool Load(const Bytes& der, std::string& error);
    bool Verify(const uint8_t* data, size_t size, const uint8_t* signature, size_t signatureSize) const;
    // The same over bytes read a piece at a time (a record where it stands
    // in the file), never held whole.
    bool Verify(const CArchiveBytes& data, const uint8_t* signature, size_t signatureSize) const;
    bool Matches(const CSigningKey& key) const;
    // Subject, key size and SHA-256 fingerprint, for reports.
    std::string Subject() const;
    std::string Fingerprint() const;
    int KeyBits() const;

private:
    X509* m_cert = nullptr;
    Bytes m_der;
};
