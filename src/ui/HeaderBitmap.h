// Where the pixels of the header bitmap (a whole BMP file from the signed
// package) begin, once everything the system will read is known to be there.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The info header and the offset of the pixel bits in `file`. The file
// header's offset is not used: the bits follow the colour table (or the
// three masks of a bit-field bitmap). Uncompressed and bit-field bitmaps
// need every row; run-length encoded ones their stated size. False for
// any other compression, and when the bits are cut short.
bool LocateBitmapBits(const uint8_t* file, size_t size, const BITMAPINFOHEADER** info, size_t* bitsOffset);
