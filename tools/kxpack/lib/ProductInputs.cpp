#include "ProductInputs.h"

#include <algorithm>
#include <map>

#include "FileIo.h"
#include "SetupConfigText.h"
#include "TextCodec.h"

namespace {

const size_t BMP_FILE_HEADER = 14;
const uint32_t BMP_CORE_HEADER = 12;
const uint32_t BMP_INFO_HEADER = 40;

int32_t ReadI32(const uint8_t* p)
{
    return static_cast<int32_t>(ReadU32(p));
}

} // namespace

bool CheckBitmap(const Bytes& bmp, BitmapInfo& info, std::string& error)
{
    if (bmp.size() < BMP_FILE_HEADER + BMP_CORE_HEADER || bmp[0] != 'B' || bmp[1] != 'M') {
        error = "not a BMP file";
        return false;
    }
    uint32_t pixelOffset = ReadU32(&bmp[10]);
    uint32_t headerSize = ReadU32(&bmp[14]);
    if (headerSize == BMP_CORE_HEADER) {
        info.width = ReadU16(&bmp[18]);
        info.height = ReadU16(&bmp[20]);
        info.bitsPerPixel = ReadU16(&bmp[24]);
    } else if (headerSize >= BMP_INFO_HEADER && bmp.size() >= BMP_FILE_HEADER + BMP_INFO_HEADER) {
        info.width = ReadI32(&bmp[18]);
        info.height = ReadI32(&bmp[22]);
        info.bitsPerPixel = ReadU16(&bmp[28]);
    } else {
        error = "not a BMP file (unknown info header)";
        return false;
    }
    info.height = std::abs(info.height);
    static const int depths[] = {1, 4, 8, 16, 24, 32};
    if (info.width <= 0 || info.height <= 0 ||
        std::find(std::begin(depths), std::end(depths), info.bitsPerPixel) == std::end(depths)) {
        error = "not a BMP file (size or colour depth)";
        return false;
    }
    if (pixelOffset < BMP_FILE_HEADER + headerSize || pixelOffset >= bmp.size()) {
        error = "a damaged BMP file (pixel data outside the file)";
        return false;
    }
    return true;
}

bool LoadLicenseTexts(const std::string& folder, std::vector<ZipInput>& texts,
                      std::vector<std::string>& warnings, std::string& error)
{
    texts.clear();
    std::vector<std::string> names;
    if (!ListFolder(folder, names, error))
        return false;

    std::map<unsigned long, std::string> locales;
    for (const auto& name : names) {
        std::string path = folder + "/" + name;
        size_t digits = 0;
        while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9')
            ++digits;
        unsigned long locale = digits && digits <= 5 ? std::stoul(name.substr(0, digits)) : 0;
        if (!IsRegularFile(path) || digits == 0 || digits == name.size() || name[digits] != '-' ||
            locale == 0 || locale > 0xFFFF) {
            error = path +
                    ": licence texts are files named <locale id>-<anything>, "
                    "for example 1033-english.txt";
            return false;
        }
        Bytes raw;
        std::u16string text;
        std::string reason;
        if (!ReadWholeFile(path, raw, error))
            return false;
        if (!DecodeText(raw, text, reason)) {
            error = path + ": " + reason;
            return false;
        }
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
        texts.push_back({name, EncodeUtf16LeWithBom(NormalizeLineBreaks(text))});
    }
    if (texts.empty()) {
        error = folder + ": holds no licence texts";
        return false;
    }
    return true;
}
