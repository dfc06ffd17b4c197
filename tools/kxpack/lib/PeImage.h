// What kxpack needs of a setup program's PE image: where the image ends (the
// package begins there) and the package certificate carried in its data.
#pragma once

#include <string>

#include "Bytes.h"

// The end of the last section's raw data of a 32-bit x86 PE image: the
// number of bytes of `file` that belong to the program. Anything behind it
// (the package of an installer) is not part of the image.
bool GetImageEnd(const Bytes& file, uint32_t& imageEnd, std::string& error);

// The DER certificate stored behind its marker in the first `size` bytes;
// false when there is none.
bool FindEmbeddedCertificate(const uint8_t* image, size_t size, Bytes& der);
