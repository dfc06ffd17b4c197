// Where an archive's bytes lie, and reading them from there: a span of a
// file, stored plain or scrambled with the record key. The program archives
// are read from the installer file itself, in pieces, each descrambled as it
// is read; there is no copy of them on disk or in memory.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/BinFile.h"
#include "base/Str.h"
#include "package/PackageFormat.h"

class InstallPackage;
class CDCContainer;

struct TArchiveSpan {
    TStrStatic<MAX_PATH> path;
    uint64_t offset = 0; // of the archive's first byte in the file
    uint64_t size = 0;
    bool scrambled = false; // stored with the record key, from the first byte on
};

// The program archive of a container of `package` (its core or custom
// container): false when the container has none.
bool GetArchiveSpan(const InstallPackage& package, const CDCContainer* container, TArchiveSpan& span);
// A whole file holding a plain archive.
bool GetFileSpan(const wchar_t* path, TArchiveSpan& span);

// Reads one span; each reading thread has its own. The file is opened
// read-only and shared for reading, as the program's own file is.
class CArchiveReader {
public:
    CArchiveReader() = default;
    ~CArchiveReader();
    CArchiveReader(const CArchiveReader&) = delete;
    CArchiveReader& operator=(const CArchiveReader&) = delete;

    bool Open(const TArchiveSpan& span);
    void Close();
    uint64_t GetSize() const { return m_nSize; }

    // Exactly `bytes` bytes from archive position `position`, descrambled.
    // False (ERROR_HANDLE_EOF when past the span's end) otherwise.
    bool ReadAt(uint64_t position, uint8_t* buffer, uint32_t bytes);
    // The same into a buffer with a byte of room before it, which it may
    // overwrite: descrambling needs the stored byte before the first, and
    // so a read from anywhere takes one call.
    bool ReadAtPadded(uint64_t position, uint8_t* buffer, uint32_t bytes);

private:
    bool ReadFileAt(uint64_t position, uint8_t* buffer, uint32_t bytes);
    bool Read(uint64_t position, uint8_t* buffer, uint32_t bytes, bool padded);

    CBinFile m_file;
    uint64_t m_nOffset = 0;
    uint64_t m_nSize = 0;
    bool m_bScrambled = false;
    uint8_t m_key[SCRAMBLE_KEY_BYTES] = {};
    // The stored byte at m_nNext - 1, which descrambling the next piece
    // needs when the reads follow each other.
    uint64_t m_nNext = 0;
    uint8_t m_lastStored = 0;
};
