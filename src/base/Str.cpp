#include "base/Str.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

CStr::~CStr()
{
    Empty();
}

void CStr::Attach(wchar_t* buffer, unsigned capacity)
{
    m_pBuffer = capacity ? buffer : nullptr;
    m_nCapacity = m_pBuffer ? capacity : 0;
    Empty();
}

void CStr::Empty()
{
    m_nLength = 0;
    if (m_pBuffer)
        m_pBuffer[0] = 0;
}

unsigned CStr::Assign(const wchar_t* text)
{
    if (!m_pBuffer)
        return 0;
    if (!text) {
        Empty();
        return 0;
    }
    size_t length = wcsnlen(text, m_nCapacity);
    if (length > m_nCapacity - 1)
        length = m_nCapacity - 1;
    // The text may be part of our own buffer.
    memmove(m_pBuffer, text, length * sizeof(wchar_t));
    m_nLength = static_cast<unsigned>(length);
    m_pBuffer[m_nLength] = 0;
    return m_nLength;
}

wchar_t* CStr::Assign(const CStr& other)
{
    if (!m_pBuffer)
        return nullptr;
    if (&other == this)
        return m_pBuffer;
    unsigned length = other.m_pBuffer ? other.m_nLength : 0;
    if (length > m_nCapacity - 1)
        length = m_nCapacity - 1;
    if (length)
        memmove(m_pBuffer, other.m_pBuffer, length * sizeof(wchar_t));
    m_nLength = length;
    m_pBuffer[m_nLength] = 0;
    return m_pBuffer;
}

int CStr::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = FormatV(format, args);
    va_end(args);
    return result;
}

int CStr::FormatV(const wchar_t* format, va_list args)
{
    if (!m_pBuffer || !format)
        return -1;
    // At most capacity - 1 characters; -1 when the text needs more. This is
    // the truncating secure print's result, and it runs on XP's msvcrt.
    int result = _vsnwprintf(m_pBuffer, m_nCapacity - 1, format, args);
    m_nLength = result > 0 ? static_cast<unsigned>(result) : 0;
    m_pBuffer[m_nLength] = 0;
    return result;
}

void CStr::UpdateLength()
{
    m_nLength = m_pBuffer ? static_cast<unsigned>(wcsnlen(m_pBuffer, m_nCapacity)) : 0;
    if (m_pBuffer && m_nLength == m_nCapacity) {
        // A system call filled the buffer without a terminator: cut the last character.
        m_nLength = m_nCapacity - 1;
        m_pBuffer[m_nLength] = 0;
    }
}

void CStr::Truncate(unsigned index)
{
    if (index < m_nLength) {
        m_nLength = index;
        m_pBuffer[index] = 0;
    }
}

void CStr::Delete(unsigned index, unsigned count)
{
    if (index >= m_nLength || count == 0)
        return;
    if (count > m_nLength - index)
        count = m_nLength - index;
    // Moves the tail with its terminator.
    memmove(m_pBuffer + index, m_pBuffer + index + count,
            (m_nLength - index - count + 1) * sizeof(wchar_t));
    m_nLength -= count;
}

wchar_t CStr::GetAt(unsigned index) const
{
    return index < m_nLength ? m_pBuffer[index] : 0;
}

int CStr::Find(wchar_t ch) const
{
    for (unsigned i = 0; i < m_nLength; ++i)
        if (m_pBuffer[i] == ch)
            return static_cast<int>(i);
    return -1;
}

int CStr::ReverseFind(wchar_t ch) const
{
    for (unsigned i = m_nLength; i > 0; --i)
        if (m_pBuffer[i - 1] == ch)
            return static_cast<int>(i - 1);
    return -1;
}

int CStr::FindNoCase(const wchar_t* text, unsigned start) const
{
    if (!text || !*text || start >= m_nLength)
        return -1;
    size_t count = wcslen(text);
    for (unsigned i = start; i + count <= m_nLength; ++i)
        if (_wcsnicmp(m_pBuffer + i, text, count) == 0)
            return static_cast<int>(i);
    return -1;
}

int CStr::CompareNoCase(const wchar_t* text) const
{
    if (!m_pBuffer || !text)
        return m_nLength > 0 ? 1 : 0;
    return _wcsicmp(m_pBuffer, text);
}

int CStr::Compare(const wchar_t* text, size_t count) const
{
    if (!m_pBuffer || !text)
        return m_nLength > 0 ? 1 : 0;
    return wcsncmp(m_pBuffer, text, count);
}

void CStr::Replace(wchar_t chOld, wchar_t chNew)
{
    for (unsigned i = 0; i < m_nLength; ++i)
        if (m_pBuffer[i] == chOld)
            m_pBuffer[i] = chNew;
}

bool CStr::IsEmpty() const
{
    return m_nLength == 0 || !m_pBuffer || m_pBuffer[0] == 0;
}

int CStr::ToMultiByte(char* out, int outBytes) const
{
    if (!out || outBytes <= 1)
        return 0;
    int written = WideCharToMultiByte(CP_ACP, 0, GetString(), -1, out, outBytes, nullptr, nullptr);
    if (written <= 0)
        out[0] = 0; // too small: no half-converted, unterminated text
    return written;
}
