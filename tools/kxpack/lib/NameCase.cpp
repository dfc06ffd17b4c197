// kxpack's reading of entry names (archive/ZipNames.h): a name without the
// UTF-8 flag is taken only when it is ASCII, since kxpack cannot know the
// ANSI code page of the systems that will install it; and names are
// compared by Unicode's simple upper-case mapping, as Windows file systems
// compare them.
#include <unicode/uchar.h>

#include "archive/ZipNames.h"

bool DecodeAnsiName(const uint8_t* bytes, size_t length, char16_t* out, size_t capacity, size_t* units)
{
    *units = 0;
    if (length > capacity)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] >= 0x80)
            return false;
        out[i] = bytes[i];
    }
    *units = length;
    return true;
}

void UpcaseName(char16_t* units, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        // Unit by unit: a surrogate stays as it is, as Windows leaves it.
        if (units[i] >= 0xD800 && units[i] <= 0xDFFF)
            continue;
        UChar32 upper = u_toupper(units[i]);
        if (upper <= 0xFFFF)
            units[i] = static_cast<char16_t>(upper);
    }
}
