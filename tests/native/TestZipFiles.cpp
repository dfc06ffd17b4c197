#include "TestZipFiles.h"

#include "support/TestZip.h"

std::vector<uint8_t> MakeTestZip(const std::vector<TestZipFile>& files, int endEntries)
{
    std::vector<ZipTestEntry> entries;
    for (const TestZipFile& file : files) {
        ZipTestEntry entry;
        entry.name = file.name;
        entry.data = Bytes(file.content);
        entry.extraFlags = file.flags;
        entry.method = file.method >= 0 ? static_cast<uint16_t>(file.method) : file.stored ? 0 : 8;
        entry.localName = file.localName;
        entries.push_back(entry);
    }
    ZipTestOptions options;
    options.endEntries = endEntries;
    return MakeZip(entries, options);
}
