// The certificate whose public key checks the signed records. The build
// generates its definition from a DER file (a development certificate made in
// the build folder, or the release certificate); a program never carries a
// private key.
#pragma once

#include <cstdint>

const uint8_t* GetPackageCertificate();
uint32_t GetPackageCertificateSize();
