#include "ArchiveBytes.h"

CArchiveBytes::CArchiveBytes(const uint8_t* data, size_t size) : m_plain(data), m_size(size) {}

CArchiveBytes::CArchiveBytes(const CByteSource& file, uint64_t fileOffset, uint32_t size)
    : m_file(&file), m_scrambled(true), m_fileOffset(fileOffset), m_size(size)
{
    GetRecordKey(m_key);
}

CArchiveBytes::CArchiveBytes(const CByteSource& file) : m_file(&file), m_size(file.Size()) {}

const uint8_t* CArchiveBytes::Read(uint64_t offset, size_t size, Bytes& window) const
{
    if (offset > m_size || size > m_size - offset)
        return nullptr;
    if (m_plain)
        return m_plain + offset;
    if (!m_scrambled) {
        // Never null, not even for no bytes: null means they cannot be read.
        if (window.size() < size || window.empty())
            window.resize(size ? size : 1);
        return m_file->Read(m_fileOffset + offset, window.data(), size) ? window.data() : nullptr;
    }
    // The key repeats every 16 bytes from the record's start: begin at such
    // a boundary, with the stored byte before it for the first plain byte.
    uint64_t start = offset & ~uint64_t(SCRAMBLE_KEY_BYTES - 1);
    size_t before = start ? 1 : 0;
    size_t lead = static_cast<size_t>(offset - start);
    size_t total = before + lead + size;
    if (window.size() < total)
        window.resize(total);
    if (!m_file->Read(m_fileOffset + start - before, window.data(), total))
        return nullptr;
    uint8_t previous = before ? window[0] : 0;
    uint8_t* piece = window.data() + before;
    if (lead + size == 0)
        return piece;
    uint8_t first = piece[0];
    DescrambleRecord(piece, static_cast<ptrdiff_t>(lead + size), m_key);
    piece[0] = static_cast<uint8_t>(first ^ static_cast<uint8_t>(previous + m_key[0]));
    return piece + lead;
}
