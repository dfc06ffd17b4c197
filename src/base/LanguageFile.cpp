// Reading a language file into the text store.
//
// Header: u32 (not interpreted), u32 D (dialog records the file may define),
// u32 M (item lists it may define), a text entry (the language's name).
// Then blocks of u32 kind, u32 id, u32 count and a body, until fewer than 12
// bytes are left: kind 0 string texts, 1 dialog texts, 2 an item list.
// Text entry: u16 byte length L, u16 not interpreted, L bytes of UTF-16;
// L = 0 is an empty text of 4 bytes.
//
// Every piece is checked against the bytes that are really there and against
// its destination before it is used; the first malformed piece ends the
// reading with failure, and what was read before it stays in use.
#include <cstdlib>
#include <cstring>

#include "base/TextStore.h"

namespace {

const uint32_t BLOCK_STRINGS = 0;
const uint32_t BLOCK_DIALOG = 1;
const uint32_t BLOCK_ITEM_LIST = 2;
const uint32_t DIALOG_MARKER = 0xFFFFFFFF;
const uint32_t MAX_STRING_ID = 65535;
const size_t BLOCK_HEAD_BYTES = 12;
const size_t ENTRY_HEAD_BYTES = 4;

} // namespace

class TextStore::CReader {
public:
    CReader(const uint8_t* data, size_t size) : m_p(data), m_end(data + size) {}

    size_t Left() const { return static_cast<size_t>(m_end - m_p); }

    bool ReadU32(uint32_t& value)
    {
        if (Left() < 4)
            return false;
        memcpy(&value, m_p, 4);
        m_p += 4;
        return true;
    }

    // A text entry into `out` (capacity in characters, terminator included);
    // null `out` skips the entry. Escapes "\n", "\r", "\t" are translated.
    bool ReadText(wchar_t* out, unsigned capacity)
    {
        if (Left() < ENTRY_HEAD_BYTES)
            return false;
        uint16_t bytes = 0;
        memcpy(&bytes, m_p, 2);
        m_p += ENTRY_HEAD_BYTES;
        if (bytes % 2 != 0 || bytes > Left())
            return false;
        const uint8_t* text = m_p;
        m_p += bytes;
        if (!out)
            return true;
        unsigned count = bytes / 2, written = 0;
        for (unsigned i = 0; i < count; ++i) {
            wchar_t ch;
            memcpy(&ch, text + 2 * i, 2);
            if (ch == L'\\' && i + 1 < count) {
                wchar_t next;
                memcpy(&next, text + 2 * (i + 1), 2);
                if (next == L'n' || next == L'r' || next == L't') {
                    ch = next == L'n' ? L'\n' : next == L'r' ? L'\r' : L'\t';
                    ++i;
                }
            } else if (ch == 0 || (ch < 0x20 && ch != L'\t')) {
                return false; // no zero and no control character but tab
            }
            if (written + 1 >= capacity)
                return false; // longer than its destination
            out[written++] = ch;
        }
        out[written] = 0;
        return true;
    }

private:
    const uint8_t* m_p;
    const uint8_t* m_end;
};

bool TextStore::LoadLanguageData(const uint8_t* data, size_t size)
{
    CLock lock(m_lock);
    if (!data)
        return false;
    CReader reader(data, size);
    uint32_t unused = 0, dialogs = 0, itemLists = 0;
    if (!reader.ReadU32(unused) || !reader.ReadU32(dialogs) || !reader.ReadU32(itemLists))
        return false;

    FreeAll();
    // A block takes at least its 12-byte head, so no file holds more records
    // than that allows, whatever its header says.
    size_t possible = reader.Left() / BLOCK_HEAD_BYTES;
    m_nDialogCapacity = static_cast<unsigned>(dialogs < possible ? dialogs : possible);
    m_nItemListCapacity = static_cast<unsigned>(itemLists < possible ? itemLists : possible);
    m_pDialogs = static_cast<DIALOG_TEXTS*>(calloc(m_nDialogCapacity ? m_nDialogCapacity : 1, sizeof(DIALOG_TEXTS)));
    m_pItemLists = static_cast<ITEM_LIST*>(calloc(m_nItemListCapacity ? m_nItemListCapacity : 1, sizeof(ITEM_LIST)));
    if (!m_pDialogs || !m_pItemLists) {
        FreeAll();
        return false;
    }
    if (!reader.ReadText(nullptr, 0))
        return false;

    while (reader.Left() >= BLOCK_HEAD_BYTES) {
        uint32_t kind = 0, id = 0, count = 0;
        reader.ReadU32(kind);
        reader.ReadU32(id);
        reader.ReadU32(count);
        bool ok = kind == BLOCK_STRINGS   ? ReadStringBlock(reader, count)
                  : kind == BLOCK_DIALOG  ? ReadDialogBlock(reader, id, count)
                  : kind == BLOCK_ITEM_LIST ? ReadItemListBlock(reader, id, count)
                                            : false;
        if (!ok)
            return false;
    }
    return true;
}

bool TextStore::ReadStringBlock(CReader& reader, uint32_t count)
{
    // Each record takes at least an id and an entry head.
    if (count > reader.Left() / (4 + ENTRY_HEAD_BYTES))
        return false;
    // The block replaces the whole string array.
    free(m_pStrings);
    m_nStrings = 0;
    m_pStrings = static_cast<STRING_TEXT*>(calloc(count ? count : 1, sizeof(STRING_TEXT)));
    if (!m_pStrings)
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        STRING_TEXT& record = m_pStrings[m_nStrings];
        if (!reader.ReadU32(record.id) || record.id == 0 || record.id > MAX_STRING_ID ||
            !reader.ReadText(record.text, TEXT_CHARS))
            return false;
        ++m_nStrings;
    }
    return true;
}

bool TextStore::ReadDialogBlock(CReader& reader, uint32_t id, uint32_t count)
{
    uint32_t marker = 0;
    if (m_nDialogs >= m_nDialogCapacity || !reader.ReadU32(marker) || marker != DIALOG_MARKER)
        return false;
    DIALOG_TEXTS& record = m_pDialogs[m_nDialogs];
    record.id = id;
    if (!reader.ReadText(record.caption, CAPTION_CHARS) ||
        count > reader.Left() / (4 + ENTRY_HEAD_BYTES))
        return false;
    record.texts = static_cast<CONTROL_TEXT*>(calloc(count ? count : 1, sizeof(CONTROL_TEXT)));
    if (!record.texts)
        return false;
    // Counted now, so that what is read stays in use (and is freed) on failure.
    ++m_nDialogs;
    for (uint32_t i = 0; i < count; ++i) {
        CONTROL_TEXT& text = record.texts[record.count];
        if (!reader.ReadU32(text.ordinal) || !reader.ReadText(text.text, TEXT_CHARS))
            return false;
        ++record.count;
    }
    return true;
}

bool TextStore::ReadItemListBlock(CReader& reader, uint32_t id, uint32_t count)
{
    if (m_nItemLists >= m_nItemListCapacity || count > reader.Left() / 4)
        return false;
    ITEM_LIST& record = m_pItemLists[m_nItemLists];
    record.id = id;
    record.items = static_cast<ITEM_TEXT*>(calloc(count ? count : 1, sizeof(ITEM_TEXT)));
    if (!record.items)
        return false;
    ++m_nItemLists;
    for (uint32_t i = 0; i < count; ++i) {
        ITEM_TEXT& item = record.items[record.count];
        if (!reader.ReadU32(item.id))
            return false;
        // Only item 0 carries a text; the others are empty.
        if (item.id == 0 && !reader.ReadText(item.text, ITEM_CHARS))
            return false;
        ++record.count;
    }
    return true;
}
