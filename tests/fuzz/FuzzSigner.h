// Signs fuzzed packages anew, for the fuzz target and the corpus test: a
// changed signed record would otherwise stop at its signature, and the
// payload unpacking, configuration, bitmap and licence archive behind it
// would never see fuzzed bytes.
#pragma once

#include <memory>

#include "InspectBytes.h"
#include "lib/Bytes.h"

typedef struct evp_pkey_st EVP_PKEY;

// A package key of its own and its certificate, made in memory.
class CFuzzKey {
public:
    CFuzzKey();
    ~CFuzzKey();
    CFuzzKey(const CFuzzKey&) = delete;
    CFuzzKey& operator=(const CFuzzKey&) = delete;

    // To check signatures with, as `kxpack inspect --cert` would.
    const InspectCertificate& Certificate() const { return m_certificate; }
    // As the package stores signatures: least significant byte first.
    Bytes Sign(const Bytes& data) const;

private:
    EVP_PKEY* m_key = nullptr;
    InspectCertificate m_certificate;
};

// `file` with the signature records of its kept licence container replaced by
// signatures of `key`, all else as it was. False when there is nothing to sign.
bool Resign(const Bytes& file, const CFuzzKey& key, Bytes& resigned);
