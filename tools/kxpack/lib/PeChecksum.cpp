#include "PeChecksum.h"

#include <cstring>

#include "PeLayout.h"

namespace {

uint32_t Fold(uint64_t sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum);
}

} // namespace

bool FindChecksumField(const uint8_t* image, size_t size, uint32_t& offset)
{
    if (size < 0x40 || image[0] != 'M' || image[1] != 'Z')
        return false;
    uint32_t pe;
    memcpy(&pe, image + DOS_LFANEW_OFFSET, 4);
    uint64_t field = static_cast<uint64_t>(pe) + 4 + COFF_HEADER_BYTES + OPTIONAL_CHECKSUM;
    if (field + 4 > size || memcmp(image + pe, "PE\0\0", 4) != 0)
        return false;
    offset = static_cast<uint32_t>(field);
    return true;
}

void CPeChecksum::Add(uint64_t offset, const uint8_t* data, size_t size)
{
    // A byte at an odd offset is the high half of its word. The sum of words
    // is kept in 64 bits and folded at the end: end-around carry addition is
    // addition modulo 0xFFFF, which does not care about order.
    if (size && (offset & 1)) {
        m_sum += static_cast<uint64_t>(*data) << 8;
        ++data;
        --size;
    }
    uint64_t sum = 0;
    size_t words = size / 2;
    for (size_t i = 0; i < words; ++i)
        sum += static_cast<uint32_t>(data[2 * i]) | static_cast<uint32_t>(data[2 * i + 1]) << 8;
    if (size & 1)
        sum += data[size - 1];
    // At most 2^47 per call for pieces below 4 GiB: no overflow in 64 bits.
    m_sum = Fold(m_sum) + Fold(sum);
}

uint32_t CPeChecksum::Finish(uint64_t fileSize) const
{
    return Fold(m_sum) + static_cast<uint32_t>(fileSize);
}

uint32_t ComputePeChecksum(const uint8_t* file, size_t size, uint32_t fieldOffset)
{
    CPeChecksum sum;
    if (fieldOffset + 4 <= size) {
        sum.Add(0, file, fieldOffset);
        sum.Add(fieldOffset + 4, file + fieldOffset + 4, size - fieldOffset - 4);
    } else {
        sum.Add(0, file, size);
    }
    return sum.Finish(size);
}
