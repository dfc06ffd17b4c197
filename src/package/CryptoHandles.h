// Owners of the CryptoAPI handles that a signature check uses, released in
// the reverse order of their making by plain scope.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "base/SystemLibrary.h"

// The certificate functions of crypt32, which the program does not import
// (see GetSystemFunction).
using CertCreateCertificateContextFn = PCCERT_CONTEXT(WINAPI*)(DWORD encoding, const BYTE* der, DWORD bytes);
using CertFreeCertificateContextFn = BOOL(WINAPI*)(PCCERT_CONTEXT context);
using CryptImportPublicKeyInfoFn = BOOL(WINAPI*)(HCRYPTPROV provider, DWORD encoding, PCERT_PUBLIC_KEY_INFO info,
                                                 HCRYPTKEY* key);

class CCryptProvider {
public:
    CCryptProvider() = default;
    ~CCryptProvider() { Close(); }
    CCryptProvider(const CCryptProvider&) = delete;
    CCryptProvider& operator=(const CCryptProvider&) = delete;

    // The default RSA provider, without a key container.
    bool AcquireVerifyContext()
    {
        Close();
        if (!CryptAcquireContextW(&m_h, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            m_h = 0;
        return m_h != 0;
    }
    bool Close()
    {
        bool ok = !m_h || CryptReleaseContext(m_h, 0);
        m_h = 0;
        return ok;
    }
    HCRYPTPROV Get() const { return m_h; }

private:
    HCRYPTPROV m_h = 0;
};

class CCryptKey {
public:
    CCryptKey() = default;
    ~CCryptKey() { Close(); }
    CCryptKey(const CCryptKey&) = delete;
    CCryptKey& operator=(const CCryptKey&) = delete;

    HCRYPTKEY* Receive()
    {
        Close();
        return &m_h;
    }
    bool Close()
    {
        bool ok = !m_h || CryptDestroyKey(m_h);
        m_h = 0;
        return ok;
    }
    HCRYPTKEY Get() const { return m_h; }

private:
    HCRYPTKEY m_h = 0;
};

class CCryptHash {
public:
    CCryptHash() = default;
    ~CCryptHash() { Close(); }
    CCryptHash(const CCryptHash&) = delete;
    CCryptHash& operator=(const CCryptHash&) = delete;

    HCRYPTHASH* Receive()
    {
        Close();
        return &m_h;
    }
    bool Close()
    {
        bool ok = !m_h || CryptDestroyHash(m_h);
        m_h = 0;
        return ok;
    }
    HCRYPTHASH Get() const { return m_h; }

private:
    HCRYPTHASH m_h = 0;
};

class CCertContext {
public:
    CCertContext() = default;
    ~CCertContext() { Close(); }
    CCertContext(const CCertContext&) = delete;
    CCertContext& operator=(const CCertContext&) = delete;

    bool Create(const BYTE* der, DWORD bytes)
    {
        Close();
        auto create = SystemFunction<CertCreateCertificateContextFn>(L"crypt32.dll", "CertCreateCertificateContext");
        m_p = create ? create(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der, bytes) : nullptr;
        return m_p != nullptr;
    }
    bool Close()
    {
        if (!m_p)
            return true;
        // Loaded when the context was made, and never unloaded.
        auto release = SystemFunction<CertFreeCertificateContextFn>(L"crypt32.dll", "CertFreeCertificateContext");
        bool ok = release && release(m_p);
        m_p = nullptr;
        return ok;
    }
    PCCERT_CONTEXT Get() const { return m_p; }

private:
    PCCERT_CONTEXT m_p = nullptr;
};
