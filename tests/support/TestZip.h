// ZIP archives made by the tests, byte by byte, so that every field can be
// set the way a case needs it (methods, data descriptors, bad CRCs, names
// of any length, comments, data in front, broken headers).
#pragma once

#include <string>
#include <vector>

#include "support/TestPackage.h"

struct ZipTestEntry {
    std::string name; // stored bytes
    ByteVector data;  // uncompressed
    uint16_t method = 8; // 8 deflates; any other value stores the bytes under that method
    bool dataDescriptor = false; // bit 3: zero CRC and sizes in the local header
    bool badCrc = false;
    int64_t declaredSize = -1; // uncompressed size written in the headers; -1: the real one
};

struct ZipTestOptions {
    ByteVector prefix;           // bytes in front of the archive (offsets not moved)
    size_t commentBytes = 0;     // ZIP comment length
    int brokenCentralHeader = -1; // index of a central header whose signature is spoilt
};

ByteVector MakeZip(const std::vector<ZipTestEntry>& entries, const ZipTestOptions& options = {});

ByteVector Bytes(const std::string& text);
