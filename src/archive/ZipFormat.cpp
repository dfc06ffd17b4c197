#include "archive/ZipFormat.h"

#include <cstring>

namespace {

uint16_t Read16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t Read64(const uint8_t* p)
{
    return static_cast<uint64_t>(Read32(p)) | (static_cast<uint64_t>(Read32(p + 4)) << 32);
}

// The fields of a header that may stand in its ZIP64 extra field, each
// replaced there when it reads as the mark.
struct TWideFields {
    uint64_t uncompressed;
    uint64_t compressed;
    uint64_t offset;
    uint32_t disk;
};

// Walks the extra fields, which must fill `extraBytes` exactly, and takes
// the marked values from the ZIP64 one.
ZipProblem ApplyZip64Extra(const uint8_t* extra, size_t extraBytes, TWideFields& fields, bool offsetAndDisk)
{
    bool needUncompressed = fields.uncompressed == ZIP64_MARK_32;
    bool needCompressed = fields.compressed == ZIP64_MARK_32;
    bool needOffset = offsetAndDisk && fields.offset == ZIP64_MARK_32;
    bool needDisk = offsetAndDisk && fields.disk == ZIP64_MARK_16;
    bool found = false;
    size_t at = 0;
    while (at < extraBytes) {
        if (extraBytes - at < 4)
            return ZipProblem::BadHeader;
        uint16_t id = Read16(extra + at);
        uint16_t size = Read16(extra + at + 2);
        at += 4;
        if (extraBytes - at < size)
            return ZipProblem::BadHeader;
        if (id == ZIP64_EXTRA_ID && !found) {
            found = true;
            const uint8_t* value = extra + at;
            size_t left = size;
            auto take64 = [&](uint64_t& field) {
                if (left < 8)
                    return false;
                field = Read64(value);
                value += 8;
                left -= 8;
                return true;
            };
            if ((needUncompressed && !take64(fields.uncompressed)) || (needCompressed && !take64(fields.compressed)) ||
                (needOffset && !take64(fields.offset)))
                return ZipProblem::MissingZip64;
            if (needDisk) {
                if (left < 4)
                    return ZipProblem::MissingZip64;
                fields.disk = Read32(value);
            }
        }
        at += size;
    }
    if (!found && (needUncompressed || needCompressed || needOffset || needDisk))
        return ZipProblem::MissingZip64;
    return ZipProblem::None;
}

// The ZIP64 end record named by the locator at `locator` (tail offset).
ZipProblem ReadZip64End(const uint8_t* tail, size_t locator, uint64_t tailStart, TZipDirectory& directory)
{
    const uint8_t* p = tail + locator;
    if (Read32(p + 4) != 0 || Read32(p + 16) != 1)
        return ZipProblem::MultipleDisks;
    uint64_t recordOffset = Read64(p + 8);
    // It lies in the tail and ends where its locator begins.
    if (recordOffset < tailStart || recordOffset - tailStart > locator ||
        locator - (recordOffset - tailStart) < ZIP64_END_BYTES)
        return ZipProblem::BadZip64End;
    const uint8_t* record = tail + (recordOffset - tailStart);
    if (Read32(record) != ZIP64_END_SIGNATURE || Read64(record + 4) + 12 != locator - (recordOffset - tailStart))
        return ZipProblem::BadZip64End;
    if (Read32(record + 16) != 0 || Read32(record + 20) != 0 || Read64(record + 24) != Read64(record + 32))
        return ZipProblem::MultipleDisks;
    directory.entries = Read64(record + 32);
    directory.size = Read64(record + 40);
    directory.offset = Read64(record + 48);
    directory.endStart = recordOffset;
    directory.zip64 = true;
    return ZipProblem::None;
}

} // namespace

ZipProblem ReadZipDirectory(const uint8_t* tail, size_t tailBytes, uint64_t archiveBytes, TZipDirectory& directory)
{
    directory = TZipDirectory();
    if (!tail || tailBytes < ZIP_END_BYTES || tailBytes > archiveBytes)
        return ZipProblem::NoEndRecord;
    uint64_t tailStart = archiveBytes - tailBytes;
    // The last signature whose comment reaches exactly to the end.
    size_t end = tailBytes - ZIP_END_BYTES;
    for (;;) {
        const uint8_t* p = tail + end;
        if (Read32(p) == ZIP_END_SIGNATURE && end + ZIP_END_BYTES + Read16(p + 20) == tailBytes)
            break;
        if (end == 0 || tailBytes - ZIP_END_BYTES - end >= ZIP_MAX_COMMENT_BYTES)
            return ZipProblem::NoEndRecord;
        --end;
    }
    const uint8_t* record = tail + end;
    if (end >= ZIP64_LOCATOR_BYTES && Read32(tail + end - ZIP64_LOCATOR_BYTES) == ZIP64_LOCATOR_SIGNATURE) {
        ZipProblem problem = ReadZip64End(tail, end - ZIP64_LOCATOR_BYTES, tailStart, directory);
        if (problem != ZipProblem::None)
            return problem;
    } else {
        uint16_t disk = Read16(record + 4), centralDisk = Read16(record + 6);
        uint16_t entriesHere = Read16(record + 8), entries = Read16(record + 10);
        if (disk != 0 || centralDisk != 0 || entriesHere != entries)
            return ZipProblem::MultipleDisks;
        directory.entries = entries;
        directory.size = Read32(record + 12);
        directory.offset = Read32(record + 16);
        directory.endStart = tailStart + end;
    }
    if (directory.zip64) {
        // Each field of the end record is its mark or the same value.
        uint16_t entriesHere = Read16(record + 8), entries = Read16(record + 10);
        uint32_t size = Read32(record + 12), offset = Read32(record + 16);
        if ((entriesHere != ZIP64_MARK_16 && entriesHere != directory.entries) ||
            (entries != ZIP64_MARK_16 && entries != directory.entries) ||
            (size != ZIP64_MARK_32 && size != directory.size) || (offset != ZIP64_MARK_32 && offset != directory.offset))
            return ZipProblem::BadDirectory;
    }
    if (directory.offset > directory.endStart || directory.endStart - directory.offset != directory.size)
        return ZipProblem::BadDirectory;
    if (directory.entries == 0)
        return ZipProblem::BadDirectory;
    // Each entry has a central header of at least 46 bytes.
    if (directory.entries > directory.size / ZIP_CENTRAL_BYTES)
        return ZipProblem::BadDirectory;
    return ZipProblem::None;
}

ZipProblem ReadZipCentral(const uint8_t* data, size_t available, TZipEntry& entry, size_t* headerBytes)
{
    entry = TZipEntry();
    if (!data || available < ZIP_CENTRAL_BYTES || Read32(data) != ZIP_CENTRAL_SIGNATURE)
        return ZipProblem::BadHeader;
    entry.versionMadeBy = Read16(data + 4);
    entry.versionNeeded = Read16(data + 6);
    entry.flags = Read16(data + 8);
    entry.method = Read16(data + 10);
    entry.dosDateTime = Read32(data + 12);
    entry.crc32 = Read32(data + 16);
    entry.nameLength = Read16(data + 28);
    entry.extraLength = Read16(data + 30);
    entry.commentLength = Read16(data + 32);
    entry.internalAttributes = Read16(data + 36);
    entry.externalAttributes = Read32(data + 38);
    size_t bytes = ZIP_CENTRAL_BYTES + entry.nameLength + entry.extraLength + entry.commentLength;
    if (available < bytes)
        return ZipProblem::BadHeader;
    TWideFields fields = {Read32(data + 24), Read32(data + 20), Read32(data + 42), Read16(data + 34)};
    ZipProblem problem =
        ApplyZip64Extra(data + ZIP_CENTRAL_BYTES + entry.nameLength, entry.extraLength, fields, true);
    if (problem != ZipProblem::None)
        return problem;
    entry.uncompressedSize = fields.uncompressed;
    entry.compressedSize = fields.compressed;
    entry.localOffset = fields.offset;
    entry.diskStart = fields.disk;
    if (entry.diskStart != 0)
        return ZipProblem::MultipleDisks;
    if (headerBytes)
        *headerBytes = bytes;
    return ZipProblem::None;
}

ZipProblem CheckZipLocal(const uint8_t* data, size_t available, const TZipEntry& entry, const uint8_t* name,
                         size_t* headerBytes)
{
    if (!data || available < ZIP_LOCAL_BYTES || Read32(data) != ZIP_LOCAL_SIGNATURE)
        return ZipProblem::BadHeader;
    uint16_t flags = Read16(data + 6);
    uint16_t method = Read16(data + 8);
    uint16_t nameLength = Read16(data + 26);
    uint16_t extraLength = Read16(data + 28);
    size_t bytes = ZIP_LOCAL_BYTES + nameLength + extraLength;
    if (available < bytes)
        return ZipProblem::BadHeader;
    if (flags != entry.flags || method != entry.method || nameLength != entry.nameLength ||
        (nameLength && (!name || memcmp(data + ZIP_LOCAL_BYTES, name, nameLength) != 0)))
        return ZipProblem::BadHeader;
    TWideFields fields = {Read32(data + 22), Read32(data + 18), 0, 0};
    ZipProblem problem = ApplyZip64Extra(data + ZIP_LOCAL_BYTES + nameLength, extraLength, fields, false);
    if (problem != ZipProblem::None)
        return problem;
    // Behind a data descriptor the local fields may be zero; the central
    // header's are the ones that count.
    if (!(flags & ZIP_FLAG_DESCRIPTOR) &&
        (Read32(data + 14) != entry.crc32 || fields.uncompressed != entry.uncompressedSize ||
         fields.compressed != entry.compressedSize))
        return ZipProblem::BadHeader;
    if (headerBytes)
        *headerBytes = bytes;
    return ZipProblem::None;
}
