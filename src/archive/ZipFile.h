// Reads ZIP archives that the installer has written out of package records,
// through minizip. Single-volume archives without ZIP64; entries stored or
// deflated; names converted from the ANSI code page (at most 256 bytes read,
// 255 characters kept). minizip reads through this object's file handle.
#pragma once

#include <cstdint>

#include "archive/MemoryArchive.h"
#include "archive/ReadAhead.h"
#include "base/BinFile.h"

// The fields of one central-directory header, each widened to 32 bits.
struct ZipEntryInfo {
    uint32_t versionMadeBy;
    uint32_t versionNeeded;
    uint32_t flags;
    uint32_t compressionMethod;
    uint32_t dosDateTime; // time in the low 16 bits, date in the high 16 bits
    uint32_t crc32;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint32_t nameLength;
    uint32_t extraLength;
    uint32_t commentLength;
    uint32_t diskNumberStart;
    uint32_t internalAttributes;
    uint32_t externalAttributes;
};

class CZipFile : public CBinFile {
public:
    CZipFile() = default;
    ~CZipFile();

    // Opens the archive (a path of at most 255 characters; a longer one is
    // refused) and makes its first entry current. A damaged archive fails
    // with ERROR_FILE_CORRUPT.
    bool OpenArchive(const wchar_t* path);
    // The same for an archive in memory, which must outlive this object's use of it.
    bool OpenArchive(const uint8_t* data, uint32_t size);
    bool GoToFirstEntry();
    // False at the last entry (the cursor stays) or when the next header
    // cannot be read (the cursor is then invalid).
    bool GoToNextEntry();
    // The current entry's information and name (cut to `nameChars` - 1).
    bool GetEntryInfo(ZipEntryInfo* info, wchar_t* name, unsigned nameChars);
    // Prepares the current entry for reading; methods 0 and 8 only.
    bool OpenEntry();
    // Up to `bytes` bytes of uncompressed data; 0 at the end or on any error.
    unsigned ReadEntry(void* buffer, unsigned bytes);
    // False when no entry is open, or when all of it was read and its CRC-32
    // does not match.
    bool CloseEntry();
    void CloseArchive();

    // Entries according to the end record, and the index of the current one.
    uint32_t GetEntryCount() const { return m_nEntries; }
    uint32_t GetEntryIndex() const { return m_nIndex; }

private:
    bool OpenWith(const char* name, zlib_filefunc_def& functions);

    CReadAhead m_reader{*this};
    TMemoryArchive m_memory;
    void* m_hZip = nullptr; // unzFile
    uint32_t m_nEntries = 0;
    uint32_t m_nIndex = 0;
    bool m_bEntryOpen = false;
};
