#include "base/SecureBuffer.h"

#include <cstdlib>
#include <cstring>

void SecureZero(void* data, size_t bytes)
{
    if (!data || !bytes)
        return;
    memset(data, 0, bytes);
    // The buffer is "used" after the memset, so the store cannot be dropped.
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

bool CSecureBuffer::Allocate(size_t bytes)
{
    Free();
    // malloc(0) may give null or a block: ask for one byte so that an empty
    // content still has a buffer.
    m_pData = static_cast<uint8_t*>(malloc(bytes ? bytes : 1));
    if (!m_pData)
        return false;
    m_nSize = bytes;
    return true;
}

void CSecureBuffer::Attach(uint8_t* data, size_t bytes)
{
    Free();
    m_pData = data;
    m_nSize = data ? bytes : 0;
}

uint8_t* CSecureBuffer::Detach()
{
    uint8_t* data = m_pData;
    m_pData = nullptr;
    m_nSize = 0;
    return data;
}

void CSecureBuffer::Shrink(size_t bytes)
{
    if (bytes < m_nSize) {
        SecureZero(m_pData + bytes, m_nSize - bytes);
        m_nSize = bytes;
    }
}

void CSecureBuffer::Free()
{
    if (m_pData) {
        SecureZero(m_pData, m_nSize);
        free(m_pData);
    }
    m_pData = nullptr;
    m_nSize = 0;
}
