// Verifies a ZIP archive of the package the way the setup program will meet
// it: the archive contract (archive/ZipContract.h) checked in the setup
// program's order with its own code, so that an archive it would refuse
// is refused here for the same rule, each problem named in detail. Beyond
// the contract: that entries neither overlap nor leave bytes unexplained,
// and every entry's data inflated and checked against its CRC-32 and
// sizes. Entries are inflated on all cores, each through a small window,
// never whole.
#pragma once

#include <string>
#include <vector>

#include "ArchiveBytes.h"
#include "archive/ZipContract.h"

struct ZipEntryCheck {
    std::string name;            // decoded, as UTF-8; the stored bytes when they do not decode (shown: ShownText.h)
    uint64_t size = 0;           // uncompressed, from the central directory
    uint64_t compressedSize = 0;
    uint16_t method = 0;
    uint16_t flags = 0;          // as stored
    uint32_t crc32 = 0;
    uint64_t offset = 0;         // of its local header, in the archive
    uint64_t centralOffset = 0;  // of its central header, in the archive
    bool utf8Taken = false;      // its name has no UTF-8 flag but was read as UTF-8 (ZipVerifyOptions)
    bool verified = false;
    ZipRule rule = ZipRule::None; // the rule its problem breaks; None for one only kxpack checks
    std::string problem;         // why it does not verify; "" when it does
};

struct ZipCheck {
    std::vector<ZipEntryCheck> entries; // in central-directory order
    // Every problem, each naming its entry or its offset (file offset when
    // the archive stands in the program file), in the order the setup
    // program meets them. Empty: the archive verifies.
    std::vector<std::string> problems;
    // The rule the first problem breaks: the one the setup program fails
    // with. None when there is no problem, or when the first is one only
    // kxpack checks (bytes that belong to no entry, a reserved name).
    ZipRule rule = ZipRule::None;
};

struct ZipVerifyOptions {
    unsigned threads = 0; // 0: one per core; small archives are checked on this thread alone
    // Names without the UTF-8 flag that are UTF-8 are read as such, as for
    // a ready ZIP whose copy gets the flag (zip on Linux writes UTF-8 names
    // without it). Without this they are read as the setup program reads
    // them: in the user's ANSI code page, which kxpack takes for ASCII only.
    bool unflaggedUtf8 = false;
};

void VerifyZip(const CArchiveBytes& zip, const ZipVerifyOptions& options, ZipCheck& check);
// `threads` 0: one per core.
void VerifyZip(const CArchiveBytes& zip, unsigned threads, ZipCheck& check);

// "file offset 1234 (0x4D2)", or "archive offset ..." for an archive that
// stands only in memory.
std::string ZipOffsetText(const CArchiveBytes& zip, uint64_t offset);
