#include "package/SignatureCheck.h"

#include "package/CryptoHandles.h"
#include "package/PackageCertificate.h"

bool VerifyPackageSignature(const uint8_t* data, uint32_t size, const uint8_t* signature,
                            uint32_t signatureSize)
{
    if (!data || !size || !signature || !signatureSize)
        return false;
    // Nothing is cached: every check builds its handles anew. Declared in this
    // order so that they are released in the reverse one.
    CCertContext certificate;
    CCryptProvider provider;
    CCryptKey key;
    CCryptHash hash;
    if (!certificate.Create(GetPackageCertificate(), GetPackageCertificateSize()))
        return false;
    if (!provider.AcquireVerifyContext())
        return false;
    auto importKey = SystemFunction<CryptImportPublicKeyInfoFn>(L"crypt32.dll", "CryptImportPublicKeyInfo");
    if (!importKey || !importKey(provider.Get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                 &certificate.Get()->pCertInfo->SubjectPublicKeyInfo, key.Receive()))
        return false;
    if (!CryptCreateHash(provider.Get(), CALG_SHA1, 0, 0, hash.Receive()))
        return false;
    if (!CryptHashData(hash.Get(), data, size, 0))
        return false;
    return CryptVerifySignatureW(hash.Get(), signature, signatureSize, key.Get(), nullptr, 0) != FALSE;
}
