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
    int64_t declaredCompressed = -1; // compressed size written in the headers; -1: the real one
    uint16_t extraFlags = 0;     // or-ed into both headers' flags (bit 11: UTF-8 name)
    std::string localName;       // the local header's name when not empty
    ByteVector centralExtra;     // the central header's extra field
    int64_t declaredCrc = -1;    // CRC-32 written in the headers; -1: the real one
};

struct ZipTestOptions {
    ByteVector prefix;           // bytes in front of the archive (offsets not moved)
    size_t commentBytes = 0;     // ZIP comment length
    int brokenCentralHeader = -1; // index of a central header whose signature is spoilt
    int endEntries = -1;         // entries the end record counts; -1: the real number
    uint16_t endDisk = 0;        // the end record's disk number
    ByteVector trailer;          // bytes after the end record's comment
};

ByteVector MakeZip(const std::vector<ZipTestEntry>& entries, const ZipTestOptions& options = {});

ByteVector Bytes(const std::string& text);
