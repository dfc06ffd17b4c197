#include "IconFile.h"

#include <algorithm>
#include <tuple>

namespace {

const size_t DIRECTORY_BYTES = 6;
const size_t DIRECTORY_ENTRY_BYTES = 16;
const uint32_t BITMAP_HEADER_BYTES = 40;
const uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The signature, the IHDR chunk's length and type, its 13 bytes and CRC.
const size_t PNG_HEADER_BYTES = 8 + 8 + 13 + 4;

uint32_t ReadBigU32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

std::string SizeText(unsigned width, unsigned height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

bool ReadPng(const uint8_t* data, size_t size, unsigned width, unsigned height, IconImageInfo& info,
             std::string& error)
{
    if (size < PNG_HEADER_BYTES) {
        error = "is a PNG cut short before its header ends";
        return false;
    }
    if (ReadBigU32(data + 8) != 13 || memcmp(data + 12, "IHDR", 4) != 0) {
        error = "is a PNG that does not begin with its IHDR header";
        return false;
    }
    uint32_t pngWidth = ReadBigU32(data + 16), pngHeight = ReadBigU32(data + 20);
    if (pngWidth != width || pngHeight != height) {
        error = "is a " + std::to_string(pngWidth) + " x " + std::to_string(pngHeight) +
                " PNG, but the icon's directory says " + SizeText(width, height);
        return false;
    }
    uint8_t depth = data[24], colourType = data[25];
    // Samples per pixel by colour type: grey, -, RGB, palette, grey + alpha, -, RGBA.
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    if (colourType > 6 || channels[colourType] == 0 ||
        (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)) {
        error = "is a PNG of an unknown kind (colour type " + std::to_string(colourType) + ", " +
                std::to_string(depth) + " bits)";
        return false;
    }
    info.png = true;
    info.bitCount = static_cast<uint16_t>(depth * channels[colourType]);
    return true;
}

bool ReadBitmap(const uint8_t* data, size_t size, unsigned width, unsigned height, IconImageInfo& info,
                std::string& error)
{
    if (size < 4 || ReadU32(data) != BITMAP_HEADER_BYTES) {
        error = "is neither a bitmap (with a 40-byte BITMAPINFOHEADER) nor a PNG";
        return false;
    }
    if (size < BITMAP_HEADER_BYTES) {
        error = "is cut short inside its bitmap header";
        return false;
    }
    int32_t bitmapWidth = int32_t(ReadU32(data + 4)), bitmapHeight = int32_t(ReadU32(data + 8));
    uint16_t planes = ReadU16(data + 12), bitCount = ReadU16(data + 14);
    uint32_t compression = ReadU32(data + 16), coloursUsed = ReadU32(data + 32);
    if (bitmapWidth != int32_t(width)) {
        error = "is " + std::to_string(bitmapWidth) + " pixels wide by its bitmap header, but " +
                std::to_string(width) + " by the icon's directory";
        return false;
    }
    if (bitmapHeight != 2 * int32_t(height)) {
        // The bitmap holds the colour image and, below it, the transparency
        // mask: twice the icon's height.
        error = "has a bitmap height of " + std::to_string(bitmapHeight) + ", not " + std::to_string(2 * height) +
                " (twice the icon's height, for the colour image and its mask)";
        return false;
    }
    if (planes != 1) {
        error = "has " + std::to_string(planes) + " colour planes in its bitmap header, not 1";
        return false;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
        error = "has " + std::to_string(bitCount) + " bits per pixel; icon bitmaps have 1, 4, 8, 24 or 32";
        return false;
    }
    if (compression != 0) {
        error = "is a compressed bitmap (compression " + std::to_string(compression) + "); icon bitmaps are not";
        return false;
    }
    if (bitCount <= 8 && coloursUsed > (1u << bitCount)) {
        error = "lists " + std::to_string(coloursUsed) + " palette colours, more than " + std::to_string(bitCount) +
                " bits per pixel can use";
        return false;
    }
    uint64_t palette = bitCount <= 8 && coloursUsed == 0 ? (1u << bitCount) : coloursUsed;
    // Rows of both the colour image and the one-bit mask are padded to 4 bytes.
    uint64_t colourRow = (uint64_t(width) * bitCount + 31) / 32 * 4, maskRow = (uint64_t(width) + 31) / 32 * 4;
    uint64_t needed = BITMAP_HEADER_BYTES + palette * 4 + (colourRow + maskRow) * height;
    if (needed > size) {
        error = "is cut short: its header, palette, colours and mask need " + std::to_string(needed) +
                " bytes, it has " + std::to_string(size);
        return false;
    }
    info.png = false;
    info.bitCount = bitCount;
    return true;
}

} // namespace

bool IsPngImage(const uint8_t* data, size_t size)
{
    return size >= sizeof(PNG_SIGNATURE) && memcmp(data, PNG_SIGNATURE, sizeof(PNG_SIGNATURE)) == 0;
}

bool ReadIconImage(const uint8_t* data, size_t size, unsigned width, unsigned height, IconImageInfo& info,
                   std::string& error)
{
    info = IconImageInfo();
    info.width = width;
    info.height = height;
    info.bytes = static_cast<uint32_t>(size);
    if (IsPngImage(data, size))
        return ReadPng(data, size, width, height, info, error);
    return ReadBitmap(data, size, width, height, info, error);
}

bool ParseIconFile(const Bytes& file, IconFile& icon, std::string& error)
{
    icon.images.clear();
    if (file.size() < DIRECTORY_BYTES) {
        error = "is too short to be an icon file (" + std::to_string(file.size()) + " bytes)";
        return false;
    }
    uint16_t reserved = ReadU16(file.data()), type = ReadU16(file.data() + 2), count = ReadU16(file.data() + 4);
    if (reserved != 0 || (type != 1 && type != 2)) {
        error = "is not an icon file (it does not begin with an icon directory)";
        return false;
    }
    if (type == 2) {
        error = "is a cursor file, not an icon";
        return false;
    }
    if (count == 0) {
        error = "is an icon file with no images";
        return false;
    }
    if (count > MAX_ICON_IMAGES) {
        error = "lists " + std::to_string(count) + " images; an icon has at most " +
                std::to_string(MAX_ICON_IMAGES) + ", so its directory is damaged";
        return false;
    }
    size_t directoryEnd = DIRECTORY_BYTES + count * DIRECTORY_ENTRY_BYTES;
    if (directoryEnd > file.size()) {
        error = "is cut short: its directory of " + std::to_string(count) + " images needs " +
                std::to_string(directoryEnd) + " bytes, the file has " + std::to_string(file.size());
        return false;
    }
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t* entry = file.data() + DIRECTORY_BYTES + i * DIRECTORY_ENTRY_BYTES;
        unsigned width = entry[0] ? entry[0] : 256, height = entry[1] ? entry[1] : 256;
        uint32_t size = ReadU32(entry + 8), offset = ReadU32(entry + 12);
        std::string which = "image " + std::to_string(i + 1) + " (" + SizeText(width, height) + ")";
        if (size == 0) {
            error = which + " has no bytes";
            return false;
        }
        if (offset < directoryEnd) {
            error = which + " starts inside the icon's directory";
            return false;
        }
        if (uint64_t(offset) + size > file.size()) {
            error = which + " runs past the end of the file (it ends at byte " +
                    std::to_string(uint64_t(offset) + size) + ", the file has " + std::to_string(file.size()) + ")";
            return false;
        }
        IconImage image;
        std::string problem;
        if (!ReadIconImage(file.data() + offset, size, width, height, image.info, problem)) {
            error = which + " " + problem;
            return false;
        }
        image.data.assign(file.begin() + offset, file.begin() + offset + size);
        icon.images.push_back(std::move(image));
    }
    return true;
}

bool CheckInstallerIcon(const std::vector<IconImageInfo>& images, std::string& error)
{
    for (const IconImageInfo& image : images)
        if (image.png && (image.width != 256 || image.height != 256)) {
            error = "the " + SizeText(image.width, image.height) +
                    " image is a PNG: Windows XP, which the setup program still starts on, draws only bitmap "
                    "icon images, so only a 256 x 256 image may be a PNG";
            return false;
        }
    std::string missing;
    for (unsigned size : {16u, 32u, 48u}) {
        bool found = std::any_of(images.begin(), images.end(), [&](const IconImageInfo& image) {
            return image.width == size && image.height == size;
        });
        if (!found)
            missing += (missing.empty() ? "" : " or ") + SizeText(size, size);
    }
    if (!missing.empty()) {
        error = "no " + missing + " image (an installer icon needs 16, 32 and 48)";
        return false;
    }
    return true;
}

bool ReadInstallerIcon(const Bytes& file, IconFile& icon, std::string& error)
{
    return ParseIconFile(file, icon, error) && CheckInstallerIcon(IconImageInfos(icon), error);
}

std::vector<IconImageInfo> IconImageInfos(const IconFile& icon)
{
    std::vector<IconImageInfo> infos;
    for (const IconImage& image : icon.images)
        infos.push_back(image.info);
    return infos;
}

std::string IconSizesText(const std::vector<IconImageInfo>& images)
{
    if (images.empty())
        return "no images";
    std::vector<IconImageInfo> sorted = images;
    auto key = [](const IconImageInfo& image) {
        return std::make_tuple(image.width, image.height, image.png, image.bitCount);
    };
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const IconImageInfo& a, const IconImageInfo& b) { return key(a) < key(b); });
    bool shared = false;
    for (size_t i = 1; i < sorted.size(); ++i)
        shared = shared || (sorted[i].width == sorted[i - 1].width && sorted[i].height == sorted[i - 1].height);
    std::string text;
    for (const IconImageInfo& image : sorted) {
        if (!text.empty())
            text += ", ";
        text += image.width == image.height ? std::to_string(image.width) : SizeText(image.width, image.height);
        if (image.png)
            text += " (PNG)";
        else if (shared)
            text += " (" + std::to_string(image.bitCount) + "-bit)";
    }
    return text + " pixels";
}
