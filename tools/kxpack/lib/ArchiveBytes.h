// The bytes of one ZIP archive, read in pieces: plain in memory (the licence
// texts, once unpacked), a plain file (a ready ZIP) or an archive record
// still in the program file, descrambled piece by piece as it is read. Record bytes depend only on the
// stored byte before them, so any piece can be descrambled on its own and
// no copy of the whole record is ever made.
#pragma once

#include <cstdint>

#include "ByteSource.h"
#include "package/PackageFormat.h"

class CArchiveBytes {
public:
    // Plain bytes that outlive this object.
    CArchiveBytes(const uint8_t* data, size_t size);
    // The scrambled record data at `fileOffset` in `file`, which outlives this object.
    CArchiveBytes(const CByteSource& file, uint64_t fileOffset, uint32_t size);
    // All of `file`, plain: an archive of its own, not in a program file.
    explicit CArchiveBytes(const CByteSource& file);

    uint64_t Size() const { return m_size; }
    // Whether the bytes stand in the program file, and where byte 0 is.
    bool InFile() const { return m_file != nullptr && m_scrambled; }
    // Whether they stand in memory: Read then copies nothing.
    bool InMemory() const { return m_plain != nullptr; }
    uint64_t FileOffset() const { return m_fileOffset; }
    // The plain bytes [offset, offset + size), in `window` (grown as needed)
    // or in place; nullptr when they lie outside or cannot be read.
    // Callable from several threads, each with its own window.
    const uint8_t* Read(uint64_t offset, size_t size, Bytes& window) const;

private:
    const uint8_t* m_plain = nullptr;
    const CByteSource* m_file = nullptr;
    bool m_scrambled = false;
    uint64_t m_fileOffset = 0;
    uint64_t m_size = 0;
    uint8_t m_key[SCRAMBLE_KEY_BYTES] = {};
};
