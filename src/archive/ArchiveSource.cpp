#include "archive/ArchiveSource.h"

#include "base/SecureBuffer.h"
#include "package/InstallPackage.h"

bool GetArchiveSpan(const InstallPackage& package, const CDCContainer* container, TArchiveSpan& span)
{
    uint64_t offset = 0;
    uint32_t size = 0;
    if (!container || package.GetPath().IsEmpty() || !container->FindRecordInFile(RECORD_ARCHIVE, &offset, &size))
        return false;
    span.path.Assign(package.GetPath());
    span.offset = offset;
    span.size = size;
    span.scrambled = true;
    return true;
}

bool GetFileSpan(const wchar_t* path, TArchiveSpan& span)
{
    CBinFile file;
    if (!path || !file.OpenRead(path))
        return false;
    span.path.Assign(path);
    span.offset = 0;
    span.size = file.GetSize();
    span.scrambled = false;
    return true;
}

CArchiveReader::~CArchiveReader()
{
    Close();
}

bool CArchiveReader::Open(const TArchiveSpan& span)
{
    Close();
    if (!m_file.Open(span.path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN))
        return false;
    // The span must lie in the file as it is now.
    uint64_t fileSize = m_file.GetSize();
    if (span.offset > fileSize || fileSize - span.offset < span.size) {
        m_file.Close();
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    m_nOffset = span.offset;
    m_nSize = span.size;
    m_bScrambled = span.scrambled;
    if (m_bScrambled)
        GetRecordKey(m_key);
    m_nNext = 0;
    m_lastStored = 0;
    return true;
}

void CArchiveReader::Close()
{
    m_file.Close();
    SecureZero(m_key, sizeof(m_key));
    m_nSize = 0;
}

bool CArchiveReader::ReadFileAt(uint64_t position, uint8_t* buffer, uint32_t bytes)
{
    uint64_t at = m_nOffset + position;
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD done = 0;
    if (!ReadFile(m_file.GetHandle(), buffer, bytes, &done, &where))
        return false;
    if (done != bytes) {
        SetLastError(ERROR_HANDLE_EOF);
        return false;
    }
    return true;
}

bool CArchiveReader::ReadAt(uint64_t position, uint8_t* buffer, uint32_t bytes)
{
    return Read(position, buffer, bytes, false);
}

bool CArchiveReader::ReadAtPadded(uint64_t position, uint8_t* buffer, uint32_t bytes)
{
    return Read(position, buffer, bytes, true);
}

bool CArchiveReader::Read(uint64_t position, uint8_t* buffer, uint32_t bytes, bool padded)
{
    if (!m_file.IsOpen() || !buffer || position > m_nSize || m_nSize - position < bytes) {
        SetLastError(m_file.IsOpen() ? ERROR_HANDLE_EOF : ERROR_INVALID_HANDLE);
        return false;
    }
    if (bytes == 0)
        return true;
    if (!m_bScrambled)
        return ReadFileAt(position, buffer, bytes);
    // Each plain byte depends on the stored byte before it: known when the
    // reads follow each other, else read with the piece when there is room.
    uint8_t previous = 0;
    bool done = false;
    if (position > 0 && position == m_nNext) {
        previous = m_lastStored;
    } else if (position > 0 && padded) {
        if (!ReadFileAt(position - 1, buffer - 1, bytes + 1))
            return false;
        previous = buffer[-1];
        done = true;
    } else if (position > 0 && !ReadFileAt(position - 1, &previous, 1)) {
        return false;
    }
    if (!done && !ReadFileAt(position, buffer, bytes))
        return false;
    m_lastStored = buffer[bytes - 1];
    m_nNext = position + bytes;
    DescrambleRecordFrom(buffer, bytes, m_key, position, previous);
    return true;
}
