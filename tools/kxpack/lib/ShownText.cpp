#include "ShownText.h"

#include <cstdint>
#include <cstdio>

namespace {

// The code point that starts at `at`, and its length; 0 bytes for one that
// is not UTF-8.
uint32_t CodePointAt(const std::string& bytes, size_t at, size_t& length)
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + at;
    size_t left = bytes.size() - at;
    uint32_t lead = p[0];
    size_t extra = lead < 0x80 ? 0 : lead >= 0xC2 && lead < 0xE0 ? 1 : lead >= 0xE0 && lead < 0xF0 ? 2
                                                   : lead >= 0xF0 && lead < 0xF5 ? 3 : 4;
    length = 0;
    if (extra > 3 || extra >= left)
        return 0;
    uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (size_t i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (p[i] & 0x3F);
    }
    static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (code < least[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    length = extra + 1;
    return code;
}

// What a terminal would act on, or what could hide the text around it.
bool NeedsEscape(uint32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029 ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

// The escape for what starts at `at` ("" when it stands as itself), and
// the bytes it takes.
std::string EscapeAt(const std::string& bytes, size_t at, size_t& length)
{
    uint32_t code = CodePointAt(bytes, at, length);
    char escape[16] = "";
    if (length == 0) {
        length = 1;
        snprintf(escape, sizeof(escape), "\\x%02X", static_cast<uint8_t>(bytes[at]));
    } else if (code < 0x20 || code == 0x7F) {
        snprintf(escape, sizeof(escape), "\\x%02X", static_cast<unsigned>(code));
    } else if (NeedsEscape(code)) {
        snprintf(escape, sizeof(escape), "\\u%04X", static_cast<unsigned>(code));
    }
    return escape;
}

std::string Escaped(const std::string& bytes, bool backslashes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        size_t length;
        std::string escape = EscapeAt(bytes, at, length);
        if (!escape.empty()) {
            out += escape;
        } else if (bytes[at] == '\\' && backslashes && at + 1 < bytes.size()) {
            // Doubled where it could be read as the start of an escape.
            char next = bytes[at + 1];
            size_t nextLength;
            bool escapeFollows =
                next == 'x' || next == 'u' || next == '\\' || !EscapeAt(bytes, at + 1, nextLength).empty();
            out += escapeFollows ? "\\\\" : "\\";
        } else {
            out.append(bytes, at, length);
        }
        at += length;
    }
    return out;
}

} // namespace

std::string ShownText(const std::string& bytes)
{
    return Escaped(bytes, true);
}

std::string TerminalSafe(const std::string& text)
{
    return Escaped(text, false);
}

bool IsUtf8(const std::string& bytes)
{
    size_t length = 0;
    for (size_t at = 0; at < bytes.size(); at += length) {
        CodePointAt(bytes, at, length);
        if (length == 0)
            return false;
    }
    return true;
}
