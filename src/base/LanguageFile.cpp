// Reading a language file: see LanguageFile.h for the layout. The first
// malformed piece ends the reading; what was read before it stays in use.
#include <cstdlib>
#include <cstring>

#include "base/LanguageFile.h"

namespace {

const uint32_t BLOCK_STRINGS = 0;
const uint32_t BLOCK_DIALOG = 1;
const uint32_t BLOCK_ITEM_LIST = 2;
const uint32_t DIALOG_MARKER = 0xFFFFFFFF;
const uint32_t MAX_STRING_ID = 65535;
const size_t BLOCK_HEAD_BYTES = 12;
const size_t ENTRY_HEAD_BYTES = 4;

class CReader {
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

} // namespace

// Fills a CLanguageTexts block by block.
class CLanguageParser {
public:
    explicit CLanguageParser(CLanguageTexts& texts) : m_t(texts) {}
    LanguageRead Parse(const uint8_t* data, size_t size);

private:
    bool ReadStringBlock(CReader& reader, uint32_t count);
    bool ReadDialogBlock(CReader& reader, uint32_t id, uint32_t count);
    bool ReadItemListBlock(CReader& reader, uint32_t id, uint32_t count);

    CLanguageTexts& m_t;
};

LanguageRead CLanguageParser::Parse(const uint8_t* data, size_t size)
{
    m_t.Free();
    if (!data)
        return LanguageRead::Nothing;
    CReader reader(data, size);
    uint32_t unused = 0, dialogs = 0, itemLists = 0;
    if (!reader.ReadU32(unused) || !reader.ReadU32(dialogs) || !reader.ReadU32(itemLists))
        return LanguageRead::Nothing;

    // A block takes at least its 12-byte head, so no file holds more records
    // than that allows, whatever its header says.
    size_t possible = reader.Left() / BLOCK_HEAD_BYTES;
    m_t.m_nDialogCapacity = static_cast<unsigned>(dialogs < possible ? dialogs : possible);
    m_t.m_nItemListCapacity = static_cast<unsigned>(itemLists < possible ? itemLists : possible);
    m_t.m_pDialogs = static_cast<TDialogTexts*>(
        calloc(m_t.m_nDialogCapacity ? m_t.m_nDialogCapacity : 1, sizeof(TDialogTexts)));
    m_t.m_pItemLists =
        static_cast<TItemList*>(calloc(m_t.m_nItemListCapacity ? m_t.m_nItemListCapacity : 1, sizeof(TItemList)));
    if (!m_t.m_pDialogs || !m_t.m_pItemLists) {
        m_t.Free();
        return LanguageRead::Partly;
    }
    if (!reader.ReadText(nullptr, 0))
        return LanguageRead::Partly;

    while (reader.Left() >= BLOCK_HEAD_BYTES) {
        uint32_t kind = 0, id = 0, count = 0;
        reader.ReadU32(kind);
        reader.ReadU32(id);
        reader.ReadU32(count);
        bool ok = kind == BLOCK_STRINGS     ? ReadStringBlock(reader, count)
                  : kind == BLOCK_DIALOG    ? ReadDialogBlock(reader, id, count)
                  : kind == BLOCK_ITEM_LIST ? ReadItemListBlock(reader, id, count)
                                            : false;
        if (!ok)
            return LanguageRead::Partly;
    }
    return LanguageRead::Whole;
}

bool CLanguageParser::ReadStringBlock(CReader& reader, uint32_t count)
{
    // Each record takes at least an id and an entry head.
    if (count > reader.Left() / (4 + ENTRY_HEAD_BYTES))
        return false;
    // The block replaces the whole string array.
    free(m_t.m_pStrings);
    m_t.m_nStrings = 0;
    m_t.m_pStrings = static_cast<TStringText*>(calloc(count ? count : 1, sizeof(TStringText)));
    if (!m_t.m_pStrings)
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        TStringText& record = m_t.m_pStrings[m_t.m_nStrings];
        if (!reader.ReadU32(record.id) || record.id == 0 || record.id > MAX_STRING_ID ||
            !reader.ReadText(record.text, LANGUAGE_TEXT_CHARS))
            return false;
        ++m_t.m_nStrings;
    }
    return true;
}

bool CLanguageParser::ReadDialogBlock(CReader& reader, uint32_t id, uint32_t count)
{
    uint32_t marker = 0;
    if (m_t.m_nDialogs >= m_t.m_nDialogCapacity || !reader.ReadU32(marker) || marker != DIALOG_MARKER)
        return false;
    TDialogTexts& record = m_t.m_pDialogs[m_t.m_nDialogs];
    record.id = id;
    if (!reader.ReadText(record.caption, LANGUAGE_CAPTION_CHARS) ||
        count > reader.Left() / (4 + ENTRY_HEAD_BYTES))
        return false;
    record.texts = static_cast<TControlText*>(calloc(count ? count : 1, sizeof(TControlText)));
    if (!record.texts)
        return false;
    // Counted now, so that what is read stays in use (and is freed) on failure.
    ++m_t.m_nDialogs;
    for (uint32_t i = 0; i < count; ++i) {
        TControlText& text = record.texts[record.count];
        if (!reader.ReadU32(text.ordinal) || !reader.ReadText(text.text, LANGUAGE_TEXT_CHARS))
            return false;
        ++record.count;
    }
    return true;
}

bool CLanguageParser::ReadItemListBlock(CReader& reader, uint32_t id, uint32_t count)
{
    if (m_t.m_nItemLists >= m_t.m_nItemListCapacity || count > reader.Left() / 4)
        return false;
    TItemList& record = m_t.m_pItemLists[m_t.m_nItemLists];
    record.id = id;
    record.items = static_cast<TItemText*>(calloc(count ? count : 1, sizeof(TItemText)));
    if (!record.items)
        return false;
    ++m_t.m_nItemLists;
    for (uint32_t i = 0; i < count; ++i) {
        TItemText& item = record.items[record.count];
        if (!reader.ReadU32(item.id))
            return false;
        // Only item 0 carries a text; the others are empty.
        if (item.id == 0 && !reader.ReadText(item.text, LANGUAGE_ITEM_CHARS))
            return false;
        ++record.count;
    }
    return true;
}

LanguageRead ParseLanguageFile(const uint8_t* data, size_t size, CLanguageTexts& texts)
{
    return CLanguageParser(texts).Parse(data, size);
}

void CLanguageTexts::Free()
{
    free(m_pStrings);
    m_pStrings = nullptr;
    m_nStrings = 0;
    for (unsigned i = 0; i < m_nDialogs; ++i)
        free(m_pDialogs[i].texts);
    free(m_pDialogs);
    m_pDialogs = nullptr;
    m_nDialogs = m_nDialogCapacity = 0;
    for (unsigned i = 0; i < m_nItemLists; ++i)
        free(m_pItemLists[i].items);
    free(m_pItemLists);
    m_pItemLists = nullptr;
    m_nItemLists = m_nItemListCapacity = 0;
}

void CLanguageTexts::TakeFrom(CLanguageTexts& other)
{
    if (&other == this)
        return;
    Free();
    m_pStrings = other.m_pStrings;
    m_nStrings = other.m_nStrings;
    m_pDialogs = other.m_pDialogs;
    m_nDialogs = other.m_nDialogs;
    m_nDialogCapacity = other.m_nDialogCapacity;
    m_pItemLists = other.m_pItemLists;
    m_nItemLists = other.m_nItemLists;
    m_nItemListCapacity = other.m_nItemListCapacity;
    other.m_pStrings = nullptr;
    other.m_nStrings = 0;
    other.m_pDialogs = nullptr;
    other.m_nDialogs = other.m_nDialogCapacity = 0;
    other.m_pItemLists = nullptr;
    other.m_nItemLists = other.m_nItemListCapacity = 0;
}

const TStringText* CLanguageTexts::FindString(uint32_t id) const
{
    for (unsigned i = 0; i < m_nStrings; ++i)
        if (m_pStrings[i].id == id)
            return &m_pStrings[i];
    return nullptr;
}

const TDialogTexts* CLanguageTexts::FindDialog(uint32_t id) const
{
    for (unsigned i = 0; i < m_nDialogs; ++i)
        if (m_pDialogs[i].id == id)
            return &m_pDialogs[i];
    return nullptr;
}
