#include "base/PathList.h"

#include <cstdlib>
#include <cwchar>

#include "base/KeyText.h"

bool CPathList::Add(const wchar_t* text)
{
    if (m_nCount == ~0u)
        return false;
    if (m_nCount / BLOCK_SLOTS == m_blocks.GetCount()) {
        auto* block = static_cast<TSlot*>(malloc(sizeof(TSlot) * BLOCK_SLOTS));
        if (!block || !m_blocks.Add(block)) {
            free(block);
            return false;
        }
    }
    wchar_t* slot = Slot(m_nCount);
    wmemset(slot, 0, SLOT_CHARS);
    CopyText(slot, SLOT_CHARS, text ? text : L"");
    ++m_nCount;
    return true;
}

bool CPathList::RemoveAt(unsigned index)
{
    if (index >= m_nCount)
        return false;
    for (unsigned i = index; i + 1 < m_nCount; ++i)
        wmemcpy(Slot(i), Slot(i + 1), SLOT_CHARS);
    --m_nCount;
    return true;
}

void CPathList::RemoveAll()
{
    for (unsigned i = 0; i < m_blocks.GetCount(); ++i)
        free(m_blocks[i]);
    m_blocks.RemoveAll();
    m_nCount = 0;
}

const wchar_t* CPathList::GetAt(unsigned index) const
{
    return index < m_nCount ? Slot(index) : nullptr;
}
