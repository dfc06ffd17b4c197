// The ZIP structures the setup program reads, and the rules it reads them
// by. No Windows headers: kxpack compiles it too.
//
// Archive, as read here:
//   entries     each a local header (30 bytes, name, extra) and its data
//   central     one header per entry (46 bytes, name, extra, comment), in
//               the order the entries are extracted
//   ZIP64 end   56 bytes, and its locator (20 bytes): only in an archive that
//               needs them (more than 65,535 entries, or a field that does
//               not fit 32 bits); the end record's fields then read
//               0xFFFF / 0xFFFFFFFF
//   end record  22 bytes and a comment that reaches exactly to the end
// The central directory ends where the end records begin. An entry's sizes
// and offset of 0xFFFFFFFF are taken from its ZIP64 extra field (id 1),
// which holds, in this order, only the fields that need it: uncompressed
// size, compressed size, local header offset, disk number. All values
// little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

enum : uint32_t {
    ZIP_LOCAL_SIGNATURE = 0x04034B50,
    ZIP_CENTRAL_SIGNATURE = 0x02014B50,
    ZIP_END_SIGNATURE = 0x06054B50,
    ZIP64_END_SIGNATURE = 0x06064B50,
    ZIP64_LOCATOR_SIGNATURE = 0x07064B50,
};

const size_t ZIP_LOCAL_BYTES = 30;
const size_t ZIP_CENTRAL_BYTES = 46;
const size_t ZIP_END_BYTES = 22;
const size_t ZIP64_END_BYTES = 56;
const size_t ZIP64_LOCATOR_BYTES = 20;
const size_t ZIP_MAX_COMMENT_BYTES = 0xFFFF;
// The end records lie in this many bytes at the archive's end.
const size_t ZIP_TAIL_BYTES = ZIP64_END_BYTES + ZIP64_LOCATOR_BYTES + ZIP_END_BYTES + ZIP_MAX_COMMENT_BYTES;
// A local header with the longest name and extra field.
const size_t ZIP_MAX_LOCAL_BYTES = ZIP_LOCAL_BYTES + 0xFFFF + 0xFFFF;

const uint16_t ZIP64_EXTRA_ID = 0x0001;
const uint32_t ZIP64_MARK_32 = 0xFFFFFFFF;
const uint16_t ZIP64_MARK_16 = 0xFFFF;

enum : uint16_t {
    ZIP_FLAG_ENCRYPTED = 0x0001,
    ZIP_FLAG_DESCRIPTOR = 0x0008,
    ZIP_FLAG_STRONG_ENCRYPTION = 0x0040,
    ZIP_FLAG_UTF8 = 0x0800,
    ZIP_FLAG_MASKED_HEADER = 0x2000,
};
enum : uint16_t {
    ZIP_METHOD_STORED = 0,
    ZIP_METHOD_DEFLATED = 8,
};

// Why a structure does not read.
enum class ZipProblem {
    None,
    NoEndRecord,    // no end record whose comment reaches the archive's end
    BadZip64End,    // a locator whose ZIP64 end record is missing or wrong
    MultipleDisks,  // a disk number other than 0, or counts that disagree
    BadDirectory,   // the central directory does not end where the end records begin,
                    // holds no entry, or disagrees with the end record
    BadHeader,      // a signature, or a header or field that overruns its bytes
    MissingZip64,   // a field marked 0xFFFFFFFF without its ZIP64 extra value
};

// Where the central directory lies, from the end records.
struct TZipDirectory {
    uint64_t entries = 0;
    uint64_t offset = 0;   // of the first central header
    uint64_t size = 0;     // of all central headers
    uint64_t endStart = 0; // where the end records begin: offset + size
    bool zip64 = false;
};

// One central header, ZIP64 values applied.
struct TZipEntry {
    uint16_t versionMadeBy = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t dosDateTime = 0; // time in the low 16 bits, date in the high
    uint32_t crc32 = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
    uint16_t commentLength = 0;
    uint32_t diskStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint64_t localOffset = 0;
};

// Finds the end records in `tail`, the last `tailBytes` bytes of an archive
// of `archiveBytes` bytes (all of it when shorter than ZIP_TAIL_BYTES). The
// end record is the last one whose comment length reaches exactly to the
// end; a ZIP64 locator right before it makes the ZIP64 end record, which
// must end where the locator begins, the source of every count and offset.
ZipProblem ReadZipDirectory(const uint8_t* tail, size_t tailBytes, uint64_t archiveBytes, TZipDirectory& directory);

// Reads the central header at `data` (`available` bytes from there on).
// `*headerBytes` is its whole length: 46 bytes, name, extra and comment;
// the name is the `nameLength` bytes after the fixed part.
ZipProblem ReadZipCentral(const uint8_t* data, size_t available, TZipEntry& entry, size_t* headerBytes);

// Checks the local header at `data` (`available` bytes from there on)
// against its central header and that header's name: signature, method,
// flags and name alike, and, where no data descriptor follows the data,
// CRC-32 and sizes alike. `*headerBytes` is the local header's whole length,
// where the entry's data begins.
ZipProblem CheckZipLocal(const uint8_t* data, size_t available, const TZipEntry& entry, const uint8_t* name,
                         size_t* headerBytes);
