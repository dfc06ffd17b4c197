// The setup program's own reading of entry names: the ANSI code page for
// names stored without the UTF-8 flag, as every earlier package was read,
// and the system's upper-case table for comparing them.
#include <windows.h>

#include <climits>

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
    // Upper case without linguistic rules is the file system's mapping, the
    // same whatever the user's language; and it is quick, which matters for
    // a product of many files.
    CharUpperBuffW(reinterpret_cast<wchar_t*>(units), static_cast<DWORD>(count));
}
