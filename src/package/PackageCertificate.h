// The certificate whose public key checks the signed records (DER). setup.exe
// takes it from its resources (ResourceCertificate.cpp); the tests link one
// generated from a DER file of the build. A program never carries a private
// key. Null and 0 when there is none.
#pragma once

#include <cstdint>

const uint8_t* GetPackageCertificate();
uint32_t GetPackageCertificateSize();
