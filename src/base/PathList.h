// A list of paths in 260-character slots, in the order they were added:
// the files a run created. Slots live in blocks that never move, so a list
// of many thousands of files grows without copying what it holds.
#pragma once

#include <windows.h>

#include "base/Array.h"

class CPathList {
public:
    static const unsigned SLOT_CHARS = MAX_PATH;

    CPathList() = default;
    ~CPathList() { RemoveAll(); }
    CPathList(const CPathList&) = delete;
    CPathList& operator=(const CPathList&) = delete;

    // Appends `text`, cut at 259 characters; false when the list cannot grow.
    bool Add(const wchar_t* text);
    // Removes one path, keeping the order of the others.
    bool RemoveAt(unsigned index);
    void RemoveAll();

    unsigned GetCount() const { return m_nCount; }
    // The path at `index`; null past the end.
    const wchar_t* GetAt(unsigned index) const;
    const wchar_t* operator[](unsigned index) const { return GetAt(index); }

private:
    static const unsigned BLOCK_SLOTS = 256;
    using TSlot = wchar_t[SLOT_CHARS];

    wchar_t* Slot(unsigned index) const { return m_blocks[index / BLOCK_SLOTS][index % BLOCK_SLOTS]; }

    TArray<TSlot*, 16> m_blocks;
    unsigned m_nCount = 0;
};
