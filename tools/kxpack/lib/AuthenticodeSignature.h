// The Authenticode signature of a program file, as `kxpack inspect` shows
// it: who signed, with which digest, and whether it was time-stamped. Read,
// not verified: Windows decides whom it trusts.
#pragma once

#include <string>

#include "ByteSource.h"
#include "Bytes.h"

struct AuthenticodeSignature {
    bool present = false;    // the image has a certificate table
    uint32_t offset = 0;     // of the certificate table in the file
    uint32_t size = 0;
    std::string subject;     // of the signer's certificate, "/CN=..."
    std::string issuer;
    std::string digest;      // "sha256"
    bool timestamped = false;
    std::string timestampTime; // "YYYY-MM-DD hh:mm:ss UTC", "" when it cannot be read
    std::string problem;     // "" when the signature could be read
};

// The first signature of the image's certificate table (WIN_CERTIFICATE
// entries holding PKCS#7 SignedData). An unsigned image gives present false.
AuthenticodeSignature ReadAuthenticodeSignature(const CByteSource& file);
