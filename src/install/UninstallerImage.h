// Changes to the program image copied into Uninstall.exe.
#pragma once

#include <cstddef>
#include <cstdint>

// Clears the security (Authenticode) data-directory entry and the checksum
// of a PE image held in memory: a signature appended to the installer is not
// part of the uninstaller. Nothing else changes; an image that is not PE is
// left alone. True when the image is PE.
bool RemoveImageSignature(uint8_t* image, size_t size);
