// The package as a builder writes it, byte for byte where the setup program
// reads it: container headers with their magic, a known type, at least one
// record, a creation time and zero reserved bytes; each container kind once;
// only the records a builder puts in each kind, each once and inside the
// file; nothing after the last container but a signing tool's certificate
// table. The setup program would skip or replace much of this silently, so
// a flipped byte there must be found here.
#pragma once

#include <string>
#include <vector>

#include "PackageFile.h"
#include "PeImage.h"

// Each problem names the file offset of what is wrong. `image` is null for
// a file that is no program.
std::vector<std::string> CheckPackageLayout(const ReadPackage& package, uint64_t fileSize,
                                            const ImageLayout* image);

// "licence", "core", "custom", "uninstall", or "unknown (dropped)".
const char* ContainerKindName(uint32_t type);
