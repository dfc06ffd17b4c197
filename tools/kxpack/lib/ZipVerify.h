// Verifies a ZIP archive of the package the way the setup program will meet
// it: the end records and every central and local header are read with the
// setup program's own rules (archive/ZipFormat.h), so that whatever it
// would refuse is reported here, each problem named in detail. Beyond them:
// that entries neither overlap nor leave bytes unexplained, and every
// entry's data inflated and checked against its CRC-32 and sizes. Entries
// are inflated on all cores, each through a small window, never whole.
//
// The setup program reads ZIP64 where the archive needs it, only methods 0
// and 8, no encryption, names it can create below the installation folder
// (EntryNames.h); it extracts files of any size, a piece at a time.
#pragma once

#include <string>
#include <vector>

#include "ArchiveBytes.h"

struct ZipEntryCheck {
    std::string name;
    uint64_t size = 0;           // uncompressed, from the central directory
    uint64_t compressedSize = 0;
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t crc32 = 0;
    uint64_t offset = 0;         // of its local header, in the archive
    bool verified = false;
    std::string problem;         // why it does not verify; "" when it does
};

struct ZipCheck {
    std::vector<ZipEntryCheck> entries; // in central-directory order
    // Every problem, each naming its entry or its offset (file offset when
    // the archive stands in the program file). Empty: the archive verifies.
    std::vector<std::string> problems;
};

// `threads` 0: one per core. Small archives are checked on this thread alone.
void VerifyZip(const CArchiveBytes& zip, unsigned threads, ZipCheck& check);

// "file offset 1234 (0x4D2)", or "archive offset ..." for an archive that
// stands only in memory.
std::string ZipOffsetText(const CArchiveBytes& zip, uint64_t offset);
