// The signature check of signed records through CryptoAPI.
#pragma once

#include <cstdint>

// True when `signature` (least significant byte first, as CryptoAPI takes it)
// is the package key's RSA PKCS #1 v1.5 signature of the SHA-1 digest of `data`.
bool VerifyPackageSignature(const uint8_t* data, uint32_t size, const uint8_t* signature,
                            uint32_t signatureSize);
