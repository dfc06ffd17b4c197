// Input files are looked at first (the product walk's lstat, the licence
// folder's listing, the look at setup.cfg and the bitmap) and read later.
// What was seen is kept and compared with the file once it is open, so that
// a file swapped in between (for a symbolic link to a private key, say) is
// refused instead of packed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Bytes.h"

struct stat;

// An input's identity when it was looked at.
struct FileSeen {
    bool known = false;       // false: nothing seen, nothing to compare
    bool throughLink = false; // the path was a symbolic link, allowed and followed to this
    uint64_t device = 0;
    uint64_t inode = 0;
    uint32_t type = 0; // the S_IFMT bits
    uint64_t size = 0;
};

FileSeen SeenFile(const struct stat& info, bool throughLink);

// Opens `path` for reading, not through a symbolic link unless one was seen
// there and allowed, and only when it is still the file seen: the same
// device and inode, type and size. -1, with "<path>: <reason>", otherwise.
int OpenCheckedInput(const std::string& path, const FileSeen& seen, std::string& error);
// The whole file so, every byte of the size seen.
bool ReadCheckedInput(const std::string& path, const FileSeen& seen, Bytes& out, std::string& error);

// Tests only: called with each input's path right before it is opened, the
// moment a race would have to hit. An empty function removes it. Called
// from the packing threads too.
void SetInputOpenHook(std::function<void(const std::string& path)> hook);
