// Byte buffers and little-endian fields for the package tool.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline uint32_t ReadU32(const uint8_t* p)
{
    uint32_t value;
    memcpy(&value, p, sizeof(value));
    return value;
}

inline uint64_t ReadU64(const uint8_t* p)
{
    uint64_t value;
    memcpy(&value, p, sizeof(value));
    return value;
}

inline uint16_t ReadU16(const uint8_t* p)
{
    uint16_t value;
    memcpy(&value, p, sizeof(value));
    return value;
}

inline void AppendU32(Bytes& out, uint32_t value)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), p, p + sizeof(value));
}

inline void Append(Bytes& out, const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
}

// "offset 1234 (0x4D2)", the way reports name a place in a file.
std::string OffsetText(uint64_t offset);

// Overwrites a buffer that held key material or signed content.
void Wipe(Bytes& bytes);
