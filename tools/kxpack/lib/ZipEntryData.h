// The data of ZIP entries, inflated (or, when stored, read) piece by piece
// and checked against the CRC-32 and the sizes their headers give; several
// entries at once on as many threads.
#pragma once

#include <string>
#include <vector>

#include "ArchiveBytes.h"

struct ZipDataJob {
    uint64_t dataOffset = 0; // in the archive
    uint64_t compressedSize = 0;
    uint64_t size = 0;
    uint32_t crc32 = 0;
    uint16_t method = 0;     // 0 or 8
    std::string problem;     // set by the check; "" when the data verifies
};

// `threads` 0: one per core. Few bytes are checked on this thread alone,
// where starting threads would cost more than it saves.
void CheckZipData(const CArchiveBytes& zip, std::vector<ZipDataJob>& jobs, unsigned threads);
