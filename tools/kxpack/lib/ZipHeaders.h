// The ZIP headers kxpack writes, with ZIP64 fields only where a value does
// not fit: an archive that needs none has the bytes it always had.
//   local header   ZIP64 extra (both sizes) when a size reaches 0xFFFFFFFF
//   central header ZIP64 extra with just the fields that reach it, in the
//                  order uncompressed size, compressed size, offset
//   end records    a ZIP64 end record and its locator before the end record
//                  when there are 65,535 entries or more, or the central
//                  directory's size or offset reaches 0xFFFFFFFF
// Entries with ZIP64 fields need version 4.5, folders 1.0, files 2.0. A name
// that is not ASCII is UTF-8 with general-purpose bit 11 set in both headers.
#pragma once

#include <cstdint>
#include <string>

#include "Bytes.h"

struct ZipHeaderFields {
    std::string name; // UTF-8; a folder's ends in '/'
    uint16_t method = 0;
    uint16_t dosTime = 0, dosDate = 0;
    uint32_t crc = 0;
    uint64_t size = 0;       // uncompressed
    uint64_t packedSize = 0; // compressed
    uint64_t offset = 0;     // of the local header
};

Bytes ZipLocalHeader(const ZipHeaderFields& fields);
void AppendZipCentralHeader(const ZipHeaderFields& fields, Bytes& central);
// The end records of an archive whose central directory of `centralSize`
// bytes begins at `centralOffset`.
Bytes ZipEndRecords(uint64_t entries, uint64_t centralOffset, uint64_t centralSize);
