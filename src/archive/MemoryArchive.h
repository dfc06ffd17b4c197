// An archive held in memory, read through minizip's file functions. The
// licence texts are read from the verified record itself: a copy written
// to disk and read back could be swapped in between.
#pragma once

#include <cstdint>

#include "ioapi.h"

struct TMemoryArchive {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    uint32_t position = 0;
};

// minizip's functions over `archive`, which must outlive their use.
zlib_filefunc_def MemoryArchiveFunctions(TMemoryArchive& archive);
