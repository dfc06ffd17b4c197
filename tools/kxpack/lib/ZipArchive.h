// ZIP archives for the package, read through libzip: ready-made ones are
// checked and archives are listed for inspection. The setup program reads them with
// its own limits (no ZIP64, methods 0 and 8, names in the ANSI code page), so
// archives that it could not extract are refused here, with the reason.
#pragma once

#include <string>
#include <vector>

#include "Bytes.h"

struct ZipEntry {
    std::string name;
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    uint16_t method = 0;
    bool encrypted = false;
};

struct ZipInput {
    std::string name; // entry name, forward slashes
    Bytes data;
};

// Reads the entries of an archive in memory; false when libzip cannot open it.
bool ListZip(const Bytes& zip, std::vector<ZipEntry>& entries, std::string& error);
// Reads one entry's data.
bool ReadZipEntry(const Bytes& zip, const std::string& name, Bytes& data, std::string& error);
// Why the setup program could not extract this archive, or "" when it can.
std::string CheckZipForSetup(const Bytes& zip);
