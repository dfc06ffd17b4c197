// A language file read into a value: its string texts, dialog texts and
// item lists. The text store takes the value whole; the parser knows
// nothing of the store.
//
// Header: u32 (not interpreted), u32 D (dialog records the file may define),
// u32 M (item lists it may define), a text entry (the language's name).
// Then blocks of u32 kind, u32 id, u32 count and a body, until fewer than 12
// bytes are left: kind 0 string texts, 1 dialog texts, 2 an item list.
// Text entry: u16 byte length L, u16 not interpreted, L bytes of UTF-16;
// L = 0 is an empty text of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Destination sizes, terminator included.
const unsigned LANGUAGE_TEXT_CHARS = 512;
const unsigned LANGUAGE_CAPTION_CHARS = 128;
const unsigned LANGUAGE_ITEM_CHARS = 64;

struct TStringText {
    uint32_t id;
    wchar_t text[LANGUAGE_TEXT_CHARS];
};
struct TControlText {
    uint32_t ordinal;
    wchar_t text[LANGUAGE_TEXT_CHARS];
};
struct TDialogTexts {
    uint32_t id;
    wchar_t caption[LANGUAGE_CAPTION_CHARS];
    TControlText* texts;
    unsigned count;
};
struct TItemText {
    uint32_t id;
    wchar_t text[LANGUAGE_ITEM_CHARS];
};
struct TItemList {
    uint32_t id;
    TItemText* items;
    unsigned count;
};

// What a language file holds; owns its arrays. Moved, never copied.
class CLanguageTexts {
public:
    CLanguageTexts() = default;
    ~CLanguageTexts() { Free(); }
    CLanguageTexts(const CLanguageTexts&) = delete;
    CLanguageTexts& operator=(const CLanguageTexts&) = delete;
    // Takes what `other` holds, which is left empty.
    void TakeFrom(CLanguageTexts& other);
    void Free();

    // The string text with that id; null when there is none.
    const TStringText* FindString(uint32_t id) const;
    // The texts of that dialog; null when there are none.
    const TDialogTexts* FindDialog(uint32_t id) const;

private:
    friend class CLanguageParser;

    TStringText* m_pStrings = nullptr;
    unsigned m_nStrings = 0;
    TDialogTexts* m_pDialogs = nullptr;
    unsigned m_nDialogs = 0;
    unsigned m_nDialogCapacity = 0;
    TItemList* m_pItemLists = nullptr;
    unsigned m_nItemLists = 0;
    unsigned m_nItemListCapacity = 0;
};

enum class LanguageRead {
    Whole,   // every block read
    Partly,  // a malformed piece ended the reading; what came before it stands
    Nothing, // no header: the file gives nothing
};

// Reads a language file's bytes into `texts` (emptied first). Every piece
// is checked against the bytes that are really there and against its
// destination before it is used.
LanguageRead ParseLanguageFile(const uint8_t* data, size_t size, CLanguageTexts& texts);
