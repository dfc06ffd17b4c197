#include "TextCodec.h"

#include <cstddef>

#include "FileIo.h"

namespace {

void AppendCodePoint(std::u16string& out, uint32_t cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

bool IsSurrogate(uint32_t cp)
{
    return cp >= 0xD800 && cp <= 0xDFFF;
}

} // namespace

bool DecodeUtf8(const std::string& utf8, std::u16string& text)
{
    text.clear();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.data());
    size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        unsigned char lead = p[i];
        uint32_t cp;
        size_t extra;
        if (lead < 0x80) {
            cp = lead;
            extra = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (n - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || IsSurrogate(cp))
            return false; // overlong, out of range or a lone surrogate
        AppendCodePoint(text, cp);
        i += extra + 1;
    }
    return true;
}

bool DecodeText(const Bytes& raw, std::u16string& text, std::string& error)
{
    text.clear();
    bool little = raw.size() >= 2 && raw[0] == 0xFF && raw[1] == 0xFE;
    bool big = raw.size() >= 2 && raw[0] == 0xFE && raw[1] == 0xFF;
    if (little || big) {
        if (raw.size() % 2 != 0) {
            error = "UTF-16 text with an odd number of bytes";
            return false;
        }
        for (size_t i = 2; i < raw.size(); i += 2)
            text.push_back(static_cast<char16_t>(little ? raw[i] | raw[i + 1] << 8
                                                        : raw[i] << 8 | raw[i + 1]));
        return true;
    }
    size_t start = raw.size() >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF ? 3 : 0;
    std::string utf8(raw.begin() + static_cast<ptrdiff_t>(start), raw.end());
    if (!DecodeUtf8(utf8, text)) {
        error = "not valid UTF-8 (save it as UTF-8 or as UTF-16 with a byte order mark)";
        return false;
    }
    return true;
}

std::string ToUtf8(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsSurrogate(cp)) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

Bytes EncodeUtf16LeWithBom(const std::u16string& text)
{
    Bytes out = {0xFF, 0xFE};
    out.reserve(2 + text.size() * 2);
    for (char16_t unit : text) {
        out.push_back(static_cast<uint8_t>(unit & 0xFF));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return out;
}

std::u16string Utf16LeToString(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    return text;
}

namespace {

bool DecodeTextFile(const std::string& path, const Bytes& raw, std::u16string& text, std::string& error)
{
    std::string reason;
    if (!DecodeText(raw, text, reason)) {
        error = path + ": " + reason;
        return false;
    }
    return true;
}

} // namespace

bool ReadTextFile(const std::string& path, std::u16string& text, std::string& error)
{
    Bytes raw;
    return ReadWholeFile(path, raw, error) && DecodeTextFile(path, raw, text, error);
}

bool ReadTextFile(const std::string& path, const FileSeen& seen, std::u16string& text, std::string& error)
{
    Bytes raw;
    return ReadCheckedInput(path, seen, raw, error) && DecodeTextFile(path, raw, text, error);
}
