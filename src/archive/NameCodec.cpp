// The setup program's own reading of entry names: the ANSI code page for
// names stored without the UTF-8 flag, as every earlier package was read,
// and the system's upper-case table for comparing them.
#include <windows.h>

#include <climits>
#include <cstring>

#include "archive/ZipNames.h"

bool DecodeAnsiName(const uint8_t* bytes, size_t length, char16_t* out, size_t capacity, size_t* units)
{
    *units = 0;
    if (length == 0)
        return true;
    if (length > INT_MAX || capacity > INT_MAX)
        return false;
    int chars = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(length),
                                    reinterpret_cast<wchar_t*>(out), static_cast<int>(capacity));
    if (chars <= 0)
        return false;
    *units = static_cast<size_t>(chars);
    return true;
}

void UpcaseName(char16_t* units, size_t count)
{
    // The invariant locale: the same mapping on every machine, as the file
    // system's own table is, whatever the user's language.
    wchar_t upper[ENTRY_NAME_CAPACITY];
    while (count) {
        int piece = static_cast<int>(count < ENTRY_NAME_CAPACITY ? count : ENTRY_NAME_CAPACITY);
        auto* text = reinterpret_cast<wchar_t*>(units);
        if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text, piece, upper, piece) == piece)
            memcpy(text, upper, piece * sizeof(wchar_t));
        else
            CharUpperBuffW(text, static_cast<DWORD>(piece));
        units += piece;
        count -= piece;
    }
}
