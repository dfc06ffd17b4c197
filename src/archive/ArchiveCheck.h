// The archive contract (ZipContract.h) checked over a whole archive before
// the extraction writes anything: every central header, its name and every
// local header, then the names against each other. An archive that breaks
// a rule fails with that rule's error code, and nothing has been written.
#pragma once

#include <cstdint>

class CArchiveReader;
class CZipDirectory;

struct TArchiveTotals {
    uint64_t bytes = 0;          // of all files, uncompressed
    uint64_t entries = 0;
    uint64_t files = 0;          // entries that are no folders
    unsigned longestName = 0;    // in UTF-16 units
    unsigned longestFolder = 0;  // the longest folder part of a name
};

// `directory` is open on `reader`; it is rewound before and after. False
// with the broken rule's error code (ZipRuleError), or a read's.
bool CheckArchiveContract(CArchiveReader& reader, CZipDirectory& directory, TArchiveTotals& totals);
