// Searches in plain wide texts: the command line and the setup configuration
// are read with these. A key counts only at the start of a text or right after
// a separator, so "/processwait:" inside other text is not a key.
#pragma once

#include <cstddef>

// Index of the first occurrence of `sub` in `text`; -1 when absent, empty or null.
int FindText(const wchar_t* text, const wchar_t* sub);

extern const wchar_t* const KEY_SEPARATORS; // "|" and newline

// Index just behind the first occurrence of `key` that starts `text` or
// follows one of `separators`; -1 when none, or for a null or empty key.
int FindKey(const wchar_t* text, const wchar_t* key, const wchar_t* separators);
// The decimal number behind `key` (leading digits; 0 when there are none).
bool GetKeyInt(const wchar_t* text, const wchar_t* key, int* value);
// Copies the value behind `key` up to the next separator into `out` (cut at
// outChars - 1) and returns its length; 0 when absent or empty. Null
// separators means KEY_SEPARATORS.
unsigned GetKeyValue(const wchar_t* text, const wchar_t* key, wchar_t* out, unsigned outChars,
                     const wchar_t* separators);
// Copies what fits of `src` and terminates; does nothing when dstChars <= 1.
void CopyText(wchar_t* dst, size_t dstChars, const wchar_t* src);
