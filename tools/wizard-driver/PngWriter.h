// Writes 32-bit screen captures as PNG files (zlib from the build).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `pixels` are top-down rows of blue, green, red, unused bytes.
bool WritePng(const std::wstring& path, const std::vector<uint8_t>& pixels, int width, int height);
