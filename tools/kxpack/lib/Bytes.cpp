#include "Bytes.h"

#include <cstdio>

void Wipe(Bytes& bytes)
{
    volatile uint8_t* p = bytes.data();
    for (size_t i = 0; i < bytes.size(); ++i)
        p[i] = 0;
    bytes.clear();
}

std::string OffsetText(uint64_t offset)
{
    char text[48];
    snprintf(text, sizeof(text), "offset %llu (0x%llX)", static_cast<unsigned long long>(offset),
             static_cast<unsigned long long>(offset));
    return text;
}
