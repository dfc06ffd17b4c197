// What `kxpack inspect` shows of an installer's own resources: the package
// certificate's bytes, the installer's icon and its version information.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ByteSource.h"
#include "Bytes.h"
#include "IconFile.h"
#include "VersionResource.h"

struct ResourceReport {
    bool read = false;   // the resource tree was read (an image without one reads as empty)
    bool hasCertificate = false;
    Bytes certificate;   // DER
    bool hasIcon = false;
    std::vector<IconImageInfo> icon; // the installer's icon group, in its order
    bool hasVersion = false;
    std::string fileVersion, productVersion;                     // the fixed ones, "2.4.1.7"
    std::vector<std::pair<std::string, std::string>> versionStrings; // UTF-8, the table's order
    std::vector<std::string> problems;
};

// Reads the resources of the image that ends at `imageEnd` in `file`. A
// missing icon group or version is no problem (the stub's own may have
// none); a tree, group or version that cannot be read is.
ResourceReport ReadResourceReport(const CByteSource& file, uint64_t imageEnd);
