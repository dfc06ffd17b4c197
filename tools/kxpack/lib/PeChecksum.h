// The checksum of a PE file (the optional header's CheckSum): the file's
// 16-bit little-endian words added with end-around carry, the checksum field
// itself counted as zero, plus the file's length. Bytes may be added in any
// order and in pieces of any length, so that a file written front to back,
// with a few fields filled in later, is summed as it goes.
#pragma once

#include <cstddef>
#include <cstdint>

// Where the CheckSum field of the PE image at the start of `image` lies;
// false when `size` bytes do not hold an MZ and PE header that reach it.
bool FindChecksumField(const uint8_t* image, size_t size, uint32_t& offset);

class CPeChecksum {
public:
    // `data` stands at `offset` in the file; bytes never added count as zero.
    void Add(uint64_t offset, const uint8_t* data, size_t size);
    // The value of the field for a file of `fileSize` bytes.
    uint32_t Finish(uint64_t fileSize) const;

private:
    uint64_t m_sum = 0;
};

// The checksum of a whole file held in memory, its field at `fieldOffset`.
uint32_t ComputePeChecksum(const uint8_t* file, size_t size, uint32_t fieldOffset);
