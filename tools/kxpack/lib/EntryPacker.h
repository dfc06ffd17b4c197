// One entry's data as kxpack stores it: deflated at level 6, or stored when
// its first megabyte does not shrink by 1% (random and compressed data
// would cost time and gain nothing) or, for a file of a megabyte or less,
// when deflating does not make it smaller. The result is handed on piece by
// piece, so a file of any size is packed in a few megabytes.
#pragma once

#include <cstdint>
#include <string>

#include "ZipWriter.h"

// Where the packed bytes go. Begin() is told the method before any bytes.
class CPackOutput {
public:
    virtual ~CPackOutput() = default;
    virtual bool Begin(uint16_t method, std::string& error) = 0;
    virtual bool Put(const uint8_t* data, size_t size, std::string& error) = 0;
};

struct PackResult {
    uint16_t method = 0;     // 0 stored, 8 deflated
    uint32_t crc = 0;        // of the plain bytes
    uint64_t size = 0;       // plain bytes read
    uint64_t packedSize = 0; // bytes handed to the output
};

// Packs `source` (a file, or bytes in memory; nothing for a folder). The
// same source always gives the same bytes, however it is read. An error
// names the file; one that changes size while it is read is an error too.
bool PackEntry(const ZipSource& source, CPackOutput& output, PackResult& result, std::string& error);
