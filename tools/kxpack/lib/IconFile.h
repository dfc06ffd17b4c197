// An icon file (.ico) for the setup program: its images read and checked,
// so that what goes into the stub is an icon every Windows it starts on can
// draw. Errors name no file; the caller puts the path in front.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"

// One image of an icon, as its own header (bitmap or PNG) gives it.
struct IconImageInfo {
    unsigned width = 0; // 1..256 pixels
    unsigned height = 0;
    uint16_t bitCount = 0; // bits per pixel
    bool png = false;
    uint32_t bytes = 0;
};

struct IconImage {
    IconImageInfo info;
    Bytes data; // the image's bytes as the file holds them
};

struct IconFile {
    std::vector<IconImage> images; // in the file's order
};

// The most images a file may list; more is a damaged directory, not an icon.
const unsigned MAX_ICON_IMAGES = 64;

// Checks one image's bytes against the size its directory gives (256 for a
// 0 there): a bitmap (BITMAPINFOHEADER, its colour and mask rows inside the
// bytes) or a PNG of that size. Fills `info`.
bool ReadIconImage(const uint8_t* data, size_t size, unsigned width, unsigned height, IconImageInfo& info,
                   std::string& error);

// An image that begins with the PNG signature (any other is a bitmap).
bool IsPngImage(const uint8_t* data, size_t size);

// Reads an .ico file: its directory, every image inside the file and well
// formed. Any sizes; see CheckInstallerIcon for what an installer needs.
bool ParseIconFile(const Bytes& file, IconFile& icon, std::string& error);

// What the setup program's icon must have: square 16, 32 and 48 pixel
// images, and PNG only for a 256 x 256 one, since Windows XP draws only
// bitmap images.
bool CheckInstallerIcon(const std::vector<IconImageInfo>& images, std::string& error);

// ParseIconFile and CheckInstallerIcon.
bool ReadInstallerIcon(const Bytes& file, IconFile& icon, std::string& error);

std::vector<IconImageInfo> IconImageInfos(const IconFile& icon);

// The sizes, smallest first, for a report: "16, 32, 48, 256 (PNG) pixels".
// When two images share a size every image gets its depth:
// "16 (8-bit), 16 (32-bit), 32 (32-bit), 256 (PNG) pixels"; one not square
// is "24 x 32".
std::string IconSizesText(const std::vector<IconImageInfo>& images);
