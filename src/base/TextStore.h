// The localised texts. The built-in English texts are the program's string
// table; a language file (an "LNG" resource chosen by the system's default
// locale) can replace them and the texts of the wizard's dialogs. The UI
// thread and the workers read texts, so everything is behind one lock.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/CriticalSection.h"

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
    static const unsigned TEXT_CHARS = 512;
    static const unsigned CAPTION_CHARS = 128;
    static const unsigned ITEM_CHARS = 64;

private:
    struct STRING_TEXT {
        uint32_t id;
        wchar_t text[TEXT_CHARS];
    };
    struct CONTROL_TEXT {
        uint32_t ordinal;
        wchar_t text[TEXT_CHARS];
    };
    struct DIALOG_TEXTS {
        uint32_t id;
        wchar_t caption[CAPTION_CHARS];
        CONTROL_TEXT* texts;
        unsigned count;
    };
    struct ITEM_TEXT {
        uint32_t id;
        wchar_t text[ITEM_CHARS];
    };
    struct ITEM_LIST {
        uint32_t id;
        ITEM_TEXT* items;
        unsigned count;
    };
    class CReader;

    void FreeAll();
    bool ReadStringBlock(CReader& reader, uint32_t count);
    bool ReadDialogBlock(CReader& reader, uint32_t id, uint32_t count);
    bool ReadItemListBlock(CReader& reader, uint32_t id, uint32_t count);

    CCriticalSection m_lock;
    LCID m_language = 0;
    STRING_TEXT* m_pStrings = nullptr;
    unsigned m_nStrings = 0;
    DIALOG_TEXTS* m_pDialogs = nullptr;
    unsigned m_nDialogs = 0;
    unsigned m_nDialogCapacity = 0;
    ITEM_LIST* m_pItemLists = nullptr;
    unsigned m_nItemLists = 0;
    unsigned m_nItemListCapacity = 0;
};
