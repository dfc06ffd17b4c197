#include "base/TextStore.h"

#include <cstdlib>

#include "base/FormatCheck.h"
#include "base/KeyText.h"

namespace {

const LCID LOCALE_ENGLISH_US = 1033;

// Locale -> "LNG" resource id of its language file; ended by locale 0.
const struct {
    LCID locale;
    unsigned resourceId;
} LANGUAGE_TABLE[] = {
    {1049, 11},
    {0, 0},
};

// The header and one text entry.
const DWORD LANGUAGE_FILE_MIN_BYTES = 15;

// Copies a language text, translating its escapes: "\0" ends it, "\\" is one
// backslash, "\n" a line feed, "\t" a tab, "|" a carriage return, "^" a tab.
void CopyTranslated(wchar_t* buffer, unsigned capacity, const wchar_t* text)
{
    unsigned out = 0;
    for (const wchar_t* p = text; *p && out + 1 < capacity; ++p) {
        wchar_t ch = *p;
        if (ch == L'\\') {
            wchar_t next = p[1];
            if (next == L'0')
                break;
            if (next == L'\\' || next == L'n' || next == L't') {
                ch = next == L'n' ? L'\n' : next == L't' ? L'\t' : L'\\';
                ++p;
            }
        } else if (ch == L'|') {
            ch = L'\r';
        } else if (ch == L'^') {
            ch = L'\t';
        }
        buffer[out++] = ch;
    }
    buffer[out] = 0;
}

} // namespace

TextStore::~TextStore()
{
    Clear();
}

bool TextStore::SelectLanguage(LCID locale)
{
    for (unsigned i = 0; LANGUAGE_TABLE[i].locale; ++i) {
        if (LANGUAGE_TABLE[i].locale == locale) {
            m_language = locale;
            return LoadLanguageFile(LANGUAGE_TABLE[i].resourceId);
        }
    }
    return false;
}

bool TextStore::LoadLanguageFile(unsigned resourceId)
{
    if (m_language == LOCALE_ENGLISH_US)
        return true;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"LNG");
    if (!found)
        return false;
    HGLOBAL loaded = LoadResource(module, found);
    DWORD size = SizeofResource(module, found);
    if (!loaded || size < LANGUAGE_FILE_MIN_BYTES)
        return false;
    const void* data = LockResource(loaded);
    bool ok = data && LoadLanguageData(static_cast<const uint8_t*>(data), size);
    FreeResource(loaded);
    return ok;
}

bool TextStore::LoadText(unsigned id, wchar_t* buffer, unsigned capacity)
{
    if (!buffer || capacity == 0)
        return false;
    wchar_t builtIn[TEXT_CHARS];
    if (LoadStringW(GetModuleHandleW(nullptr), id, builtIn, TEXT_CHARS) <= 0)
        builtIn[0] = 0;
    {
        CLock lock(m_lock);
        if (const TStringText* found = m_texts.FindString(id)) {
            wchar_t translated[TEXT_CHARS];
            CopyTranslated(translated, TEXT_CHARS, found->text);
            // Texts may serve as formats: one asking for other arguments
            // than the built-in text is not used.
            if (HasSameConversions(translated, builtIn)) {
                CopyText(buffer, capacity, translated);
                return true;
            }
        }
    }
    CopyText(buffer, capacity, builtIn);
    return false;
}

bool TextStore::LocalizeDialog(HWND dialog, unsigned dialogId)
{
    if (m_language == LOCALE_ENGLISH_US || !GetWindow(dialog, GW_CHILD))
        return false;
    CLock lock(m_lock);
    const TDialogTexts* record = m_texts.FindDialog(dialogId);
    if (!record)
        return false;
    if (record->caption[0])
        SetWindowTextW(dialog, record->caption);
    if (record->count == 0)
        return false;
    // Children count from 1 in window order; the ordinals must rise.
    HWND child = GetWindow(dialog, GW_CHILD);
    unsigned number = 1;
    for (unsigned i = 0; i < record->count && child; ++i) {
        const TControlText& text = record->texts[i];
        if (text.ordinal < number)
            break;
        while (child && number < text.ordinal) {
            child = GetWindow(child, GW_HWNDNEXT);
            ++number;
        }
        if (child)
            SetWindowTextW(child, text.text);
    }
    return true;
}

bool TextStore::LoadLanguageData(const uint8_t* data, size_t size)
{
    CLanguageTexts texts;
    LanguageRead read = ParseLanguageFile(data, size, texts);
    if (read == LanguageRead::Nothing)
        return false;
    CLock lock(m_lock);
    m_texts.TakeFrom(texts);
    return read == LanguageRead::Whole;
}

void TextStore::Clear()
{
    CLock lock(m_lock);
    m_texts.Free();
}
