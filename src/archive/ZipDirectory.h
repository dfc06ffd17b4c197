// The central directory of an archive read through a CArchiveReader: the
// end records first, then one central header after the other, through a
// window of its own, so that a directory of any size is read in pieces.
#pragma once

#include <windows.h>

#include <cstdint>

#include "archive/ZipFormat.h"

class CArchiveReader;

class CZipDirectory {
public:
    CZipDirectory() = default;
    ~CZipDirectory();
    CZipDirectory(const CZipDirectory&) = delete;
    CZipDirectory& operator=(const CZipDirectory&) = delete;

    // Reads the end records; false with ERROR_FILE_CORRUPT (or the read's
    // reason) when they do not read. The reader must outlive the walk.
    bool Open(CArchiveReader& reader);
    const TZipDirectory& Get() const { return m_directory; }

    // Goes back to the first central header.
    void Rewind();
    // The next central header and its name (valid until the next call).
    // False at the end (ERROR_NO_MORE_ITEMS) or on damage (ERROR_FILE_CORRUPT,
    // or ERROR_NOT_SUPPORTED for a second disk).
    bool Next(TZipEntry& entry, const uint8_t** name);
    // Central headers read since the last rewind.
    uint64_t GetIndex() const { return m_nIndex; }
    // Reads every central header and rewinds: the sum of the entries' sizes.
    // False on damage, or when the sum does not fit (ERROR_FILE_CORRUPT).
    bool SumSizes(uint64_t* bytes);

private:
    bool Fill(size_t needed);

    CArchiveReader* m_pReader = nullptr;
    TZipDirectory m_directory;
    uint8_t* m_pWindow = nullptr;
    uint64_t m_windowStart = 0; // archive position of m_pWindow[0]
    size_t m_windowBytes = 0;
    uint64_t m_position = 0;    // of the next central header
    uint64_t m_nIndex = 0;
};

// Sets the thread's error code for a structure that does not read and
// returns false.
bool FailZip(ZipProblem problem);
