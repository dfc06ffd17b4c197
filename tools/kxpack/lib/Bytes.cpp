#include "Bytes.h"

void Wipe(Bytes& bytes)
{
    volatile uint8_t* p = bytes.data();
    for (size_t i = 0; i < bytes.size(); ++i)
        p[i] = 0;
    bytes.clear();
}
