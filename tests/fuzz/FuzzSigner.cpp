#include "FuzzSigner.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/PackageFile.h"

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;

[[noreturn]] void Die(const char* what)
{
    fprintf(stderr, "fuzz signer: %s\n", what);
    abort();
}

} // namespace

// 512 bits: three signatures per input must stay cheap, and the key
// protects nothing.
CFuzzKey::CFuzzKey() : m_key(EVP_RSA_gen(512))
{
    X509Ptr cert(X509_new());
    if (!m_key || !cert)
        Die("cannot make a key");
    X509_NAME* name = X509_get_subject_name(cert.get());
    unsigned char* der = nullptr;
    int derBytes = 0;
    if (X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("kxpack fuzzer"), -1, -1, 0) != 1 ||
        X509_set_version(cert.get(), 2) != 1 || X509_set_issuer_name(cert.get(), name) != 1 ||
        !X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400) ||
        X509_set_pubkey(cert.get(), m_key) != 1 || X509_sign(cert.get(), m_key, EVP_sha256()) <= 0 ||
        (derBytes = i2d_X509(cert.get(), &der)) <= 0)
        Die("cannot make a certificate");
    m_certificate.source = "the fuzz key";
    m_certificate.der.assign(der, der + derBytes);
    OPENSSL_free(der);
}

CFuzzKey::~CFuzzKey()
{
    EVP_PKEY_free(m_key);
}

Bytes CFuzzKey::Sign(const Bytes& data) const
{
    MdCtxPtr ctx(EVP_MD_CTX_new());
    size_t length = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha1(), nullptr, m_key) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length, data.data(), data.size()) != 1)
        Die("cannot sign");
    Bytes signature(length);
    if (EVP_DigestSign(ctx.get(), signature.data(), &length, data.data(), data.size()) != 1)
        Die("cannot sign");
    signature.resize(length);
    std::reverse(signature.begin(), signature.end());
    return signature;
}

bool Resign(const Bytes& file, const CFuzzKey& key, Bytes& resigned)
{
    ReadPackage package;
    std::string error;
    if (!ReadPackageFile(file, package, error))
        return false;
    const ReadContainer* license = package.Kept(CONTAINER_LICENSE);
    if (!license)
        return false;
    struct Replacement {
        uint64_t offset; // of the signature record's head
        uint32_t oldSize;
        Bytes stored;
    };
    std::vector<Replacement> replacements;
    uint8_t recordKey[SCRAMBLE_KEY_BYTES];
    GetRecordKey(recordKey);
    const std::pair<uint32_t, uint32_t> signedRecords[] = {{RECORD_CONFIG, RECORD_CONFIG_SIGNATURE},
                                                           {RECORD_BITMAP, RECORD_BITMAP_SIGNATURE},
                                                           {RECORD_LICENSES, RECORD_LICENSES_SIGNATURE}};
    for (const auto& ids : signedRecords) {
        // The records the setup program would take, as inspect finds them.
        const ReadRecord* record = license->Find(ids.first);
        const ReadRecord* signature = license->Find(ids.second);
        if (!record || !signature)
            continue;
        Bytes stored = key.Sign(record->data);
        ScrambleRecord(stored.data(), static_cast<ptrdiff_t>(stored.size()), recordKey);
        replacements.push_back({signature->offset, signature->size, std::move(stored)});
    }
    if (replacements.empty())
        return false;
    // Records are read one after the other with no offsets between them, so
    // replacing from the back leaves the offsets of those still to do, and
    // the layout around them, as they were.
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement& a, const Replacement& b) { return a.offset > b.offset; });
    resigned = file;
    for (const auto& r : replacements) {
        auto data = resigned.begin() + static_cast<ptrdiff_t>(r.offset + sizeof(RecordHead));
        data = resigned.erase(data, data + r.oldSize);
        resigned.insert(data, r.stored.begin(), r.stored.end());
        uint32_t size = static_cast<uint32_t>(r.stored.size());
        memcpy(&resigned[r.offset + 4], &size, sizeof(size));
    }
    return true;
}
