#include "base/Array.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

CArrayBase::~CArrayBase()
{
    RemoveAll();
}

bool CArrayBase::Reserve(unsigned n)
{
    if (n == 0 || (m_pData && m_nCapacity - m_nCount >= n))
        return true;
    uint64_t growth = static_cast<uint64_t>(m_nGrowStep) * (n / m_nGrowStep + 1);
    uint64_t capacity = m_nCapacity + growth;
    uint64_t bytes = capacity * m_nElementSize;
    if (capacity > UINT32_MAX || bytes > SIZE_MAX)
        return false;
    auto* data = static_cast<unsigned char*>(malloc(static_cast<size_t>(bytes)));
    if (!data)
        return false;
    if (m_nCount)
        memcpy(data, m_pData, m_nCount * m_nElementSize);
    free(m_pData);
    m_pData = data;
    m_nCapacity = static_cast<unsigned>(capacity);
    return true;
}

bool CArrayBase::Add(const void* elements, unsigned n)
{
    if (!elements || n == 0 || !Reserve(n))
        return false;
    memcpy(m_pData + m_nCount * m_nElementSize, elements, n * m_nElementSize);
    m_nCount += n;
    return true;
}

void* CArrayBase::AddZeroed()
{
    if (!Reserve(1))
        return nullptr;
    void* slot = m_pData + m_nCount * m_nElementSize;
    memset(slot, 0, m_nElementSize);
    ++m_nCount;
    return slot;
}

void* CArrayBase::InsertSorted(const void* element, CompareFn compare, bool* found)
{
    if (found)
        *found = false;
    if (!element || !compare || !Reserve(1))
        return nullptr;
    unsigned low = 0, high = m_nCount;
    while (low < high) {
        unsigned middle = low + (high - low) / 2;
        unsigned char* existing = m_pData + middle * m_nElementSize;
        int order = compare(element, existing);
        if (order == 0) {
            if (found)
                *found = true;
            return existing;
        }
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    unsigned char* slot = m_pData + low * m_nElementSize;
    memmove(slot + m_nElementSize, slot, (m_nCount - low) * m_nElementSize);
    memcpy(slot, element, m_nElementSize);
    ++m_nCount;
    return slot;
}

void* CArrayBase::BinarySearch(const void* key, CompareFn compare) const
{
    if (!m_nCount || !key || !compare)
        return nullptr;
    return bsearch(key, m_pData, m_nCount, m_nElementSize, compare);
}

bool CArrayBase::RemoveAt(unsigned index)
{
    if (index >= m_nCount)
        return false;
    unsigned char* slot = m_pData + index * m_nElementSize;
    memmove(slot, slot + m_nElementSize, (m_nCount - index - 1) * m_nElementSize);
    --m_nCount;
    return true;
}

void CArrayBase::RemoveAll()
{
    free(m_pData);
    m_pData = nullptr;
    m_nCount = 0;
    m_nCapacity = 0;
}

void* CArrayBase::ElementAt(unsigned index) const
{
    return index < m_nCount ? m_pData + index * m_nElementSize : nullptr;
}
