#include "install/UninstallerImage.h"

#include <cstring>

namespace {

const size_t LFANEW_OFFSET = 0x3C;
const size_t COFF_HEADER_BYTES = 20;
const uint16_t OPTIONAL_MAGIC_PE32 = 0x10B;
const uint16_t OPTIONAL_MAGIC_PE32_PLUS = 0x20B;
const size_t CHECKSUM_OFFSET = 64;             // in the optional header, both kinds
const size_t DIRECTORY_COUNT_OFFSET_PE32 = 92; // NumberOfRvaAndSizes
const size_t DIRECTORY_COUNT_OFFSET_PE32_PLUS = 108;
const uint32_t SECURITY_DIRECTORY = 4;
const size_t DIRECTORY_ENTRY_BYTES = 8;

uint32_t Read32(const uint8_t* p)
{
    uint32_t value;
    memcpy(&value, p, 4);
    return value;
}

} // namespace

bool RemoveImageSignature(uint8_t* image, size_t size)
{
    if (!image || size < LFANEW_OFFSET + 4 || image[0] != 'M' || image[1] != 'Z')
        return false;
    size_t pe = Read32(image + LFANEW_OFFSET);
    size_t optional = pe + 4 + COFF_HEADER_BYTES;
    if (pe > size || size - pe < 4 + COFF_HEADER_BYTES + 2 || memcmp(image + pe, "PE\0\0", 4) != 0)
        return false;
    uint16_t optionalSize = 0, magic = 0;
    memcpy(&optionalSize, image + pe + 4 + 16, 2);
    memcpy(&magic, image + optional, 2);
    size_t countOffset = magic == OPTIONAL_MAGIC_PE32        ? DIRECTORY_COUNT_OFFSET_PE32
                         : magic == OPTIONAL_MAGIC_PE32_PLUS ? DIRECTORY_COUNT_OFFSET_PE32_PLUS
                                                             : 0;
    if (!countOffset || optionalSize < countOffset + 4 || size - optional < optionalSize)
        return false;
    memset(image + optional + CHECKSUM_OFFSET, 0, 4);
    uint32_t directories = Read32(image + optional + countOffset);
    size_t security = optional + countOffset + 4 + SECURITY_DIRECTORY * DIRECTORY_ENTRY_BYTES;
    if (directories > SECURITY_DIRECTORY && security + DIRECTORY_ENTRY_BYTES <= optional + optionalSize)
        memset(image + security, 0, DIRECTORY_ENTRY_BYTES);
    return true;
}
