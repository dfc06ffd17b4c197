// The end records of an archive as the setup program reads them
// (ReadZipDirectory, rules 1 to 3 of archive/ZipContract.h) and, where it
// refuses them, what is wrong in detail: the record and field at fault,
// and where it lies.
#pragma once

#include <string>

#include "ArchiveBytes.h"
#include "archive/ZipContract.h"

struct ZipEndCheck {
    TZipDirectory directory;      // where the central directory lies, when they read
    std::string problem;          // "" when they read
    ZipRule rule = ZipRule::None; // the rule the problem breaks
};

// `window` holds the archive's last bytes while they are read.
ZipEndCheck ReadZipEnd(const CArchiveBytes& zip, Bytes& window);
