#include "base/KeyText.h"

#include <cstdlib>
#include <cwchar>

const wchar_t* const KEY_SEPARATORS = L"|\n";

int FindText(const wchar_t* text, const wchar_t* sub)
{
    if (!text || !sub || !*sub)
        return -1;
    const wchar_t* found = wcsstr(text, sub);
    return found ? static_cast<int>(found - text) : -1;
}

int FindKey(const wchar_t* text, const wchar_t* key, const wchar_t* separators)
{
    if (!text || !key || !*key || !separators)
        return -1;
    size_t keyLength = wcslen(key);
    for (const wchar_t* at = wcsstr(text, key); at; at = wcsstr(at + keyLength, key)) {
        if (at == text || wcschr(separators, at[-1]))
            return static_cast<int>(at - text + keyLength);
    }
    return -1;
}

bool GetKeyInt(const wchar_t* text, const wchar_t* key, int* value)
{
    if (!value)
        return false;
    int at = FindKey(text, key, KEY_SEPARATORS);
    if (at < 0)
        return false;
    *value = _wtoi(text + at);
    return true;
}

unsigned GetKeyValue(const wchar_t* text, const wchar_t* key, wchar_t* out, unsigned outChars,
                     const wchar_t* separators)
{
    if (!out || outChars == 0)
        return 0;
    out[0] = 0;
    if (!separators)
        separators = KEY_SEPARATORS;
    int at = FindKey(text, key, separators);
    if (at < 0)
        return 0;
    const wchar_t* value = text + at;
    unsigned count = 0;
    while (count < outChars - 1 && value[count] && !wcschr(separators, value[count])) {
        out[count] = value[count];
        ++count;
    }
    out[count] = 0;
    return count;
}

void CopyText(wchar_t* dst, size_t dstChars, const wchar_t* src)
{
    if (!dst || !src || dstChars <= 1)
        return;
    size_t length = wcsnlen(src, dstChars - 1);
    wmemmove(dst, src, length);
    dst[length] = 0;
}
