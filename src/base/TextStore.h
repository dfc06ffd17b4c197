// The localised texts. The built-in English texts are the program's string
// table; a language file (an "LNG" resource chosen by the system's default
// locale) can replace them and the texts of the wizard's dialogs. The UI
// thread and the workers read texts, so everything is behind one lock.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/CriticalSection.h"
#include "base/LanguageFile.h"

class TextStore {
public:
    TextStore() = default;
    ~TextStore();
    TextStore(const TextStore&) = delete;
    TextStore& operator=(const TextStore&) = delete;

    // Looks the locale up in the language table and loads its language file;
    // false, changing nothing, for a locale the table does not have.
    bool SelectLanguage(LCID locale);
    // The "LNG" resource of the program with that id.
    bool LoadLanguageFile(unsigned resourceId);
    // A language file's bytes. Stops at the first malformed piece and returns
    // false, keeping what was read before it.
    bool LoadLanguageData(const uint8_t* data, size_t size);
    // The text with that id: from the language file (true) or else from the
    // string table (false); the buffer holds the text either way.
    bool LoadText(unsigned id, wchar_t* buffer, unsigned capacity);
    // Sets the caption and control texts of a dialog from the language file.
    bool LocalizeDialog(HWND dialog, unsigned dialogId);
    void Clear();

    LCID GetLanguage() const { return m_language; }

    // Destination sizes, terminator included.
    static const unsigned TEXT_CHARS = LANGUAGE_TEXT_CHARS;
    static const unsigned CAPTION_CHARS = LANGUAGE_CAPTION_CHARS;
    static const unsigned ITEM_CHARS = LANGUAGE_ITEM_CHARS;

private:
    CCriticalSection m_lock;
    LCID m_language = 0;
    CLanguageTexts m_texts;
};
