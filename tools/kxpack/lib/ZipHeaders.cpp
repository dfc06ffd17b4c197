#include "ZipHeaders.h"

#include "archive/ZipFormat.h"

namespace {

// Made by and needed: MS-DOS host, version 1.0 for a folder, 2.0 for
// deflate, 4.5 for ZIP64.
const uint16_t VERSION_FOLDER = 10, VERSION_DEFLATE = 20, VERSION_ZIP64 = 45;
const uint32_t ATTRIBUTE_FOLDER = 0x10;

void PutU16(Bytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(Bytes& out, uint32_t value)
{
    PutU16(out, static_cast<uint16_t>(value));
    PutU16(out, static_cast<uint16_t>(value >> 16));
}

void PutU64(Bytes& out, uint64_t value)
{
    PutU32(out, static_cast<uint32_t>(value));
    PutU32(out, static_cast<uint32_t>(value >> 32));
}

bool Wide(uint64_t value)
{
    return value >= ZIP64_MARK_32;
}

uint32_t Field32(uint64_t value)
{
    return Wide(value) ? ZIP64_MARK_32 : static_cast<uint32_t>(value);
}

bool NeedsZip64(const ZipHeaderFields& fields)
{
    return Wide(fields.size) || Wide(fields.packedSize) || Wide(fields.offset);
}

uint16_t Version(const ZipHeaderFields& fields)
{
    if (NeedsZip64(fields))
        return VERSION_ZIP64;
    return !fields.name.empty() && fields.name.back() == '/' ? VERSION_FOLDER : VERSION_DEFLATE;
}

// An ASCII name is stored without flags, as every archive was before names
// could be UTF-8; any other name is UTF-8 and says so (bit 11).
uint16_t Flags(const ZipHeaderFields& fields)
{
    for (char ch : fields.name)
        if (static_cast<unsigned char>(ch) >= 0x80)
            return ZIP_FLAG_UTF8;
    return 0;
}

// Version needed to the name length: the part both headers share.
void PutCommon(const ZipHeaderFields& fields, uint32_t size, uint32_t packedSize, uint16_t extraBytes, Bytes& out)
{
    PutU16(out, Version(fields));
    PutU16(out, Flags(fields)); // sizes always in the header
    PutU16(out, fields.method);
    PutU16(out, fields.dosTime);
    PutU16(out, fields.dosDate);
    PutU32(out, fields.crc);
    PutU32(out, packedSize);
    PutU32(out, size);
    PutU16(out, static_cast<uint16_t>(fields.name.size()));
    PutU16(out, extraBytes);
}

} // namespace

Bytes ZipLocalHeader(const ZipHeaderFields& fields)
{
    // A local header has no offset; when a size is wide, both sizes stand
    // in its ZIP64 field.
    bool wide = Wide(fields.size) || Wide(fields.packedSize);
    Bytes out;
    PutU32(out, ZIP_LOCAL_SIGNATURE);
    PutCommon(fields, wide ? ZIP64_MARK_32 : static_cast<uint32_t>(fields.size),
              wide ? ZIP64_MARK_32 : static_cast<uint32_t>(fields.packedSize), wide ? 20 : 0, out);
    out.insert(out.end(), fields.name.begin(), fields.name.end());
    if (wide) {
        PutU16(out, ZIP64_EXTRA_ID);
        PutU16(out, 16);
        PutU64(out, fields.size);
        PutU64(out, fields.packedSize);
    }
    return out;
}

void AppendZipCentralHeader(const ZipHeaderFields& fields, Bytes& central)
{
    Bytes extra;
    for (uint64_t value : {fields.size, fields.packedSize, fields.offset})
        if (Wide(value))
            PutU64(extra, value);
    PutU32(central, ZIP_CENTRAL_SIGNATURE);
    PutU16(central, Version(fields)); // made by
    PutCommon(fields, Field32(fields.size), Field32(fields.packedSize),
              static_cast<uint16_t>(extra.empty() ? 0 : 4 + extra.size()), central);
    PutU16(central, 0); // comment
    PutU16(central, 0); // disk
    PutU16(central, 0); // internal attributes
    PutU32(central, !fields.name.empty() && fields.name.back() == '/' ? ATTRIBUTE_FOLDER : 0);
    PutU32(central, Field32(fields.offset));
    central.insert(central.end(), fields.name.begin(), fields.name.end());
    if (!extra.empty()) {
        PutU16(central, ZIP64_EXTRA_ID);
        PutU16(central, static_cast<uint16_t>(extra.size()));
        central.insert(central.end(), extra.begin(), extra.end());
    }
}

Bytes ZipEndRecords(uint64_t entries, uint64_t centralOffset, uint64_t centralSize)
{
    bool wideCount = entries >= ZIP64_MARK_16;
    Bytes out;
    if (wideCount || Wide(centralOffset) || Wide(centralSize)) {
        uint64_t recordOffset = centralOffset + centralSize;
        PutU32(out, ZIP64_END_SIGNATURE);
        PutU64(out, ZIP64_END_BYTES - 12); // what follows this field: no extensible data
        PutU16(out, VERSION_ZIP64);
        PutU16(out, VERSION_ZIP64);
        PutU32(out, 0); // this disk
        PutU32(out, 0); // the central directory's disk
        PutU64(out, entries);
        PutU64(out, entries);
        PutU64(out, centralSize);
        PutU64(out, centralOffset);
        PutU32(out, ZIP64_LOCATOR_SIGNATURE);
        PutU32(out, 0); // the ZIP64 end record's disk
        PutU64(out, recordOffset);
        PutU32(out, 1); // disks in all
    }
    uint16_t count = wideCount ? ZIP64_MARK_16 : static_cast<uint16_t>(entries);
    PutU32(out, ZIP_END_SIGNATURE);
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, count);
    PutU16(out, count);
    PutU32(out, Field32(centralSize));
    PutU32(out, Field32(centralOffset));
    PutU16(out, 0); // comment
    return out;
}
