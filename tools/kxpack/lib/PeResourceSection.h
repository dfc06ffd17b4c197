// The resource section of a setup program's image, read and written whole.
// kxpack writes the installer's own resources (its package certificate, icon
// and version) into the stub: the tree is laid out anew in the section the
// resource directory points at, and the sections behind it move along.
#pragma once

#include <string>
#include <vector>

#include "ByteSource.h"
#include "Bytes.h"
#include "PeResources.h"

// The leaves of the image's resource tree; none when the image has no
// resource directory. `imageEnd` is where the image ends in `file`.
bool ReadImageResources(const CByteSource& file, uint64_t imageEnd, std::vector<ResourceEntry>& entries,
                        std::string& error);

// Replaces the resources of `image` (the image alone, nothing behind it)
// with `entries`. The resource section grows or shrinks; a section behind it
// may only be the base relocations, which move in the file and in memory
// (their directory entry along). The section table, the directory entries,
// SizeOfImage and SizeOfInitializedData are updated; the checksum is
// cleared, to be set once the whole file is written. False, with the reason,
// for an image laid out otherwise: nothing is changed then.
bool WriteImageResources(Bytes& image, const std::vector<ResourceEntry>& entries, std::string& error);
