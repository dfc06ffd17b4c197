// Writes a container straight to a file, record by record and each record in
// pieces, for records too large to be held twice: an uninstall list of a
// million files is 520 MB. The bytes are those CDCContainer::Write makes of
// the same header and records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/PackageFormat.h"

class CBinFile;

class CContainerWriter {
public:
    explicit CContainerWriter(CBinFile& file);
    ~CContainerWriter();

    CContainerWriter(const CContainerWriter&) = delete;
    CContainerWriter& operator=(const CContainerWriter&) = delete;

    // The header (magic, `type`, creation time now) announcing `records`
    // records, 1 to 100.
    bool Begin(uint32_t type, unsigned records);
    // The head of a record of `size` bytes (at least 1), which WritePiece
    // then gives.
    bool BeginRecord(uint32_t id, uint32_t size);
    // The next `bytes` of the record: scrambled in place, then written. Fails
    // past the size the record announced.
    bool WritePiece(uint8_t* data, uint32_t bytes);
    // True when every record was given whole and as many were written as
    // announced. Any failure before stays a failure.
    bool End();

private:
    bool Fail();

    CBinFile& m_file;
    uint8_t m_key[SCRAMBLE_KEY_BYTES];
    unsigned m_recordsLeft = 0;  // records announced and not begun
    uint64_t m_written = 0;      // bytes of the current record written
    uint32_t m_size = 0;         // size of the current record
    uint8_t m_previous = 0;      // the last stored byte of the current record
    bool m_begun = false;
    bool m_failed = false;
};
