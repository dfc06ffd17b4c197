#include "base/BinFile.h"

CBinFile::~CBinFile()
{
    Close();
}

bool CBinFile::Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                    SECURITY_ATTRIBUTES* security)
{
    Close();
    if (!path)
        return false;
    m_hFile = CreateFileW(path, access, share, security, disposition, flags, nullptr);
    return IsOpen();
}

bool CBinFile::OpenRead(const wchar_t* path)
{
    return Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL);
}

bool CBinFile::OpenWrite(const wchar_t* path)
{
    return Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS,
                FILE_ATTRIBUTE_NORMAL);
}

unsigned CBinFile::Read(void* buffer, unsigned bytes)
{
    DWORD done = 0;
    if (!IsOpen() || !buffer || !bytes || !ReadFile(m_hFile, buffer, bytes, &done, nullptr))
        return 0;
    return done;
}

unsigned CBinFile::Write(const void* buffer, unsigned bytes)
{
    DWORD done = 0;
    if (!IsOpen() || !buffer || !bytes || !WriteFile(m_hFile, buffer, bytes, &done, nullptr))
        return 0;
    return done;
}

int64_t CBinFile::Seek(int64_t distance, DWORD method)
{
    if (!IsOpen())
        return -1;
    LONG high = static_cast<LONG>(distance >> 32);
    // A low half of 0xFFFFFFFF is a valid position: only the error code tells.
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(m_hFile, static_cast<LONG>(distance & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return -1;
    return (static_cast<int64_t>(high) << 32) | low;
}

uint64_t CBinFile::GetSize() const
{
    if (!IsOpen())
        return 0;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(m_hFile, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    return (static_cast<uint64_t>(high) << 32) | low;
}

bool CBinFile::Close()
{
    if (!IsOpen())
        return true;
    bool closed = CloseHandle(m_hFile) != FALSE;
    m_hFile = INVALID_HANDLE_VALUE;
    return closed;
}
