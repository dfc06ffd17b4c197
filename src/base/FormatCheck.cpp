#include "base/FormatCheck.h"

#include <cwchar>

namespace {

const unsigned MAX_TOKEN = 8;

enum class Next { Token, End, Bad };

// The next conversion from `*text` on, as its argument-taking parts: the
// "*"s, the size and the conversion letter.
Next NextConversion(const wchar_t*& text, wchar_t* token)
{
    for (;;) {
        const wchar_t* percent = wcschr(text, L'%');
        if (!percent)
            return Next::End;
        text = percent + 1;
        if (*text == L'%') {
            ++text;
            continue;
        }
        unsigned length = 0;
        while (*text && wcschr(L"-+ #0", *text))
            ++text;
        for (int part = 0; part < 2; ++part) { // width, then precision
            if (part == 1) {
                if (*text != L'.')
                    break;
                ++text;
            }
            if (*text == L'*') {
                token[length++] = L'*';
                ++text;
            } else {
                while (*text >= L'0' && *text <= L'9')
                    ++text;
            }
        }
        static const wchar_t* const SIZES[] = {L"I64", L"I32", L"hh", L"ll", L"h", L"l", L"L", L"I", L"w",
                                               L"z", L"j", L"t"};
        for (const wchar_t* size : SIZES) {
            size_t sizeLength = wcslen(size);
            if (wcsncmp(text, size, sizeLength) == 0) {
                for (size_t i = 0; i < sizeLength; ++i)
                    token[length++] = size[i];
                text += sizeLength;
                break;
            }
        }
        if (!*text || !wcschr(L"diouxXeEfgGaAcCsSp", *text))
            return Next::Bad; // %n among them: it writes
        token[length++] = *text++;
        token[length] = 0;
        return Next::Token;
    }
}

} // namespace

bool HasSameConversions(const wchar_t* translated, const wchar_t* builtIn)
{
    if (!translated || !builtIn)
        return false;
    for (;;) {
        wchar_t mine[MAX_TOKEN], theirs[MAX_TOKEN];
        Next a = NextConversion(translated, mine);
        Next b = NextConversion(builtIn, theirs);
        if (a == Next::Bad || b == Next::Bad || a != b)
            return false;
        if (a == Next::End)
            return true;
        if (wcscmp(mine, theirs) != 0)
            return false;
    }
}
