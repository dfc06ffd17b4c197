#include "archive/ZipDirectory.h"

#include <cstdlib>

#include "archive/ArchiveSource.h"

namespace {

// Holds the longest central header (46 bytes and three fields of up to
// 64 KB) and many ordinary ones.
const size_t WINDOW_BYTES = 256 * 1024;

} // namespace

bool FailZip(ZipProblem problem)
{
    SetLastError(problem == ZipProblem::MultipleDisks ? ERROR_NOT_SUPPORTED : ERROR_FILE_CORRUPT);
    return false;
}

CZipDirectory::~CZipDirectory()
{
    free(m_pWindow);
}

bool CZipDirectory::Open(CArchiveReader& reader)
{
    m_pReader = &reader;
    if (!m_pWindow && !(m_pWindow = static_cast<uint8_t*>(malloc(WINDOW_BYTES)))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    uint64_t size = reader.GetSize();
    size_t tail = size < ZIP_TAIL_BYTES ? static_cast<size_t>(size) : ZIP_TAIL_BYTES;
    if (tail < ZIP_END_BYTES)
        return FailZip(ZipProblem::NoEndRecord);
    if (!reader.ReadAt(size - tail, m_pWindow, static_cast<uint32_t>(tail)))
        return false;
    ZipProblem problem = ReadZipDirectory(m_pWindow, tail, size, m_directory);
    if (problem != ZipProblem::None)
        return FailZip(problem);
    Rewind();
    return true;
}

void CZipDirectory::Rewind()
{
    m_windowStart = 0;
    m_windowBytes = 0;
    m_position = m_directory.offset;
    m_nIndex = 0;
}

bool CZipDirectory::Fill(size_t needed)
{
    if (m_position >= m_windowStart && m_position - m_windowStart + needed <= m_windowBytes)
        return true;
    uint64_t left = m_directory.endStart - m_position;
    size_t bytes = left < WINDOW_BYTES ? static_cast<size_t>(left) : WINDOW_BYTES;
    if (bytes < needed)
        return FailZip(ZipProblem::BadHeader);
    if (!m_pReader->ReadAt(m_position, m_pWindow, static_cast<uint32_t>(bytes)))
        return false;
    m_windowStart = m_position;
    m_windowBytes = bytes;
    return true;
}

bool CZipDirectory::SumSizes(uint64_t* bytes)
{
    Rewind();
    uint64_t total = 0;
    TZipEntry entry;
    while (Next(entry, nullptr)) {
        if (UINT64_MAX - total < entry.uncompressedSize)
            return FailZip(ZipProblem::BadHeader);
        total += entry.uncompressedSize;
    }
    if (GetLastError() != ERROR_NO_MORE_ITEMS)
        return false;
    Rewind();
    *bytes = total;
    return true;
}

bool CZipDirectory::Next(TZipEntry& entry, const uint8_t** name)
{
    if (m_nIndex == m_directory.entries) {
        // The entries must fill the directory exactly.
        if (m_position != m_directory.endStart)
            return FailZip(ZipProblem::BadDirectory);
        SetLastError(ERROR_NO_MORE_ITEMS);
        return false;
    }
    if (!Fill(ZIP_CENTRAL_BYTES))
        return false;
    const uint8_t* header = m_pWindow + (m_position - m_windowStart);
    size_t fixed = ZIP_CENTRAL_BYTES + (header[28] | header[29] << 8) + (header[30] | header[31] << 8) +
                   (header[32] | header[33] << 8);
    if (!Fill(fixed))
        return false;
    header = m_pWindow + (m_position - m_windowStart);
    size_t bytes = 0;
    ZipProblem problem = ReadZipCentral(header, m_windowBytes - (m_position - m_windowStart), entry, &bytes);
    if (problem != ZipProblem::None)
        return FailZip(problem);
    if (name)
        *name = header + ZIP_CENTRAL_BYTES;
    m_position += bytes;
    ++m_nIndex;
    return true;
}
