// One record of a container: id, size and the data, held descrambled, or,
// for a program archive, where its data lies in the program file.
// Plain data so that the container's record list can move it by byte copy;
// the container frees what its records hold.
#pragma once

#include <cstdint>

class CBinFile;

struct ContainerRecord {
    uint32_t id;
    uint32_t size;
    uint8_t* data;   // owned, descrambled; null for an empty entry or one left in the file
    uint64_t offset; // file offset of the stored data of a record left in the file, else 0

    // Reads id, size and data at the file position and descrambles the data.
    // A size larger than what is left of the file fails without allocating,
    // leaving the position at the end of the file (where a short read would).
    bool Read(CBinFile& file);
    // Reads id and size only and steps over the data, noting where it lies:
    // for records of any size, which are read from the file when needed.
    // Fails as Read does when the data would run past the end of the file.
    bool Locate(CBinFile& file);
    // Writes id, size and the data scrambled again (on a scratch copy).
    bool Write(CBinFile& file) const;
    // Zeroes and frees the data.
    void Free();
};
