// Small archives made byte by byte with the shared writer (support/TestZip.h)
// for tests that also use kxpack's own headers, whose Bytes type would
// clash with that writer's Bytes() helper in one file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestZipFile {
    std::string name;    // stored bytes
    std::string content;
    uint16_t flags = 0;  // or-ed into both headers' flags (0x0800: UTF-8 name)
    bool stored = false; // stored rather than deflated
    int method = -1;     // another method number for the headers (the bytes stored); -1: none
    std::string localName; // the local header's name when not empty
};

// `endEntries`: the entries the end record counts; -1: all of them.
std::vector<uint8_t> MakeTestZip(const std::vector<TestZipFile>& files, int endEntries = -1);
