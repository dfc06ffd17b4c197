#include "ProductInputs.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <sys/stat.h>

#include "EntryNames.h"
#include "FileIo.h"
#include "ProgramFolder.h"
#include "SetupConfigText.h"
#include "TextCodec.h"

namespace {

const size_t BMP_FILE_HEADER = 14;
const uint32_t BMP_INFO_HEADER = 40;
const uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;

int32_t ReadI32(const uint8_t* p)
{
    return static_cast<int32_t>(ReadU32(p));
}

} // namespace

// The rules the setup program applies before it draws the header: an info
// header of at least 40 bytes, the colour table, then pixel data for every
// row, found right behind them.
bool CheckBitmap(const Bytes& bmp, BitmapInfo& info, std::string& error)
{
    if (bmp.size() < 2 || bmp[0] != 'B' || bmp[1] != 'M') {
        error = "not a BMP file";
        return false;
    }
    if (bmp.size() < BMP_FILE_HEADER + BMP_INFO_HEADER) {
        error = "a BMP file cut short in its header (" + std::to_string(bmp.size()) + " bytes)";
        return false;
    }
    uint32_t pixelOffset = ReadU32(&bmp[10]);
    uint32_t headerSize = ReadU32(&bmp[14]);
    if (headerSize < BMP_INFO_HEADER) {
        error = "an old BMP format (a " + std::to_string(headerSize) +
                "-byte info header); save it as a Windows BMP with a 40-byte or larger header";
        return false;
    }
    info.width = ReadI32(&bmp[18]);
    int32_t height = ReadI32(&bmp[22]);
    info.height = height < 0 ? -height : height;
    info.bitsPerPixel = ReadU16(&bmp[28]);
    uint32_t compression = ReadU32(&bmp[30]);
    uint32_t imageSize = ReadU32(&bmp[34]);
    uint64_t colours = ReadU32(&bmp[46]);
    static const int depths[] = {1, 4, 8, 16, 24, 32};
    if (info.width <= 0 || height == 0 || height == INT32_MIN ||
        std::find(std::begin(depths), std::end(depths), info.bitsPerPixel) == std::end(depths)) {
        error = "not a BMP file (size or colour depth)";
        return false;
    }
    if (colours == 0 && info.bitsPerPixel <= 8)
        colours = 1u << info.bitsPerPixel;
    if (compression == BI_BITFIELDS && headerSize == BMP_INFO_HEADER)
        colours += 3; // the masks, where the colour table would be
    uint64_t offset = BMP_FILE_HEADER + static_cast<uint64_t>(headerSize) + colours * 4;
    uint64_t stride = ((static_cast<uint64_t>(info.width) * info.bitsPerPixel + 31) / 32) * 4;
    uint64_t needed = stride * static_cast<uint64_t>(info.height);
    switch (compression) {
    case BI_RGB:
        break;
    case BI_BITFIELDS:
        if (info.bitsPerPixel != 16 && info.bitsPerPixel != 32) {
            error = "bit fields need 16 or 32 bits per pixel";
            return false;
        }
        break;
    case BI_RLE8:
    case BI_RLE4:
        if (info.bitsPerPixel != (compression == BI_RLE8 ? 8 : 4) || height < 0 || imageSize == 0) {
            error = "a run-length encoded bitmap needs its own bit count, bottom-up rows and a stated "
                    "image size";
            return false;
        }
        needed = imageSize;
        break;
    default:
        error = "compression " + std::to_string(compression) +
                " (JPEG, PNG and the like) cannot be drawn; save it uncompressed";
        return false;
    }
    if (pixelOffset != offset) {
        error = "its pixel data start at byte " + std::to_string(pixelOffset) +
                ", but the setup program reads them right behind the headers, at byte " +
                std::to_string(offset);
        return false;
    }
    if (offset + needed > bmp.size()) {
        error = "a BMP file cut short: its pixels need " + std::to_string(offset + needed) +
                " bytes, the file has " + std::to_string(bmp.size());
        return false;
    }
    return true;
}

bool LoadLicenseTexts(const std::string& folder, bool followLinks, std::vector<ZipSource>& texts,
                      std::vector<std::string>& warnings, std::string& error)
{
    texts.clear();
    std::vector<std::string> names;
    if (!ListFolder(folder, names, error))
        return false;

    std::map<unsigned long, std::string> locales;
    for (const auto& name : names) {
        std::string path = folder + "/" + name;
        FileSeen seen;
        if (!LookAtInput(path, folder, followLinks, seen, error))
            return false;
        size_t digits = 0;
        while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9')
            ++digits;
        unsigned long locale = digits && digits <= 5 ? std::stoul(name.substr(0, digits)) : 0;
        // The setup program looks for "<locale id>-" written without leading zeros.
        if (seen.type != S_IFREG || digits == 0 || digits == name.size() || name[digits] != '-' || name[0] == '0' ||
            locale == 0 || locale > 0xFFFF) {
            error = path +
                    ": licence texts are files named <locale id>-<anything>, the id in "
                    "decimal without leading zeros, for example 1033-english.txt";
            return false;
        }
        std::u16string text;
        if (!ReadTextFile(path, seen, text, error))
            return false;
        if (text.empty()) {
            error = path + ": the licence text is empty";
            return false;
        }
        auto previous = locales.find(locale);
        if (previous != locales.end())
            warnings.push_back(path + ": locale " + std::to_string(locale) + " already has " +
                               previous->second + ", which the setup program shows");
        else
            locales[locale] = name;
        // CR LF line ends: a Windows edit box breaks lines only there.
        std::string problem = EntryNameProblem(name);
        if (!problem.empty()) {
            error = folder + ": " + problem;
            return false;
        }
        ZipSource entry;
        entry.name = name;
        entry.data = EncodeUtf16LeWithBom(NormalizeLineBreaks(text));
        entry.size = entry.data.size();
        texts.push_back(std::move(entry));
    }
    if (texts.empty()) {
        error = folder + ": holds no licence texts";
        return false;
    }
    return true;
}
