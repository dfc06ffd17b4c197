#include "archive/MemoryArchive.h"

#include <cstring>

namespace {

voidpf ZCALLBACK OpenMemory(voidpf opaque, const char*, int)
{
    auto* archive = static_cast<TMemoryArchive*>(opaque);
    archive->position = 0;
    return archive->data ? archive : nullptr;
}

uLong ZCALLBACK ReadMemory(voidpf, voidpf stream, void* buffer, uLong size)
{
    auto* archive = static_cast<TMemoryArchive*>(stream);
    uint32_t left = archive->size - archive->position;
    uint32_t bytes = size < left ? static_cast<uint32_t>(size) : left;
    memcpy(buffer, archive->data + archive->position, bytes);
    archive->position += bytes;
    return bytes;
}

uLong ZCALLBACK WriteMemory(voidpf, voidpf, const void*, uLong)
{
    return 0; // archives are never written
}

long ZCALLBACK TellMemory(voidpf, voidpf stream)
{
    return static_cast<long>(static_cast<TMemoryArchive*>(stream)->position & 0x7FFFFFFF);
}

long ZCALLBACK SeekMemory(voidpf, voidpf stream, uLong offset, int origin)
{
    auto* archive = static_cast<TMemoryArchive*>(stream);
    int64_t base = origin == ZLIB_FILEFUNC_SEEK_CUR ? archive->position
                   : origin == ZLIB_FILEFUNC_SEEK_END ? archive->size
                                                      : 0;
    int64_t distance = origin == ZLIB_FILEFUNC_SEEK_SET ? static_cast<int64_t>(offset)
                                                        : static_cast<int64_t>(static_cast<long>(offset));
    int64_t target = base + distance;
    if (target < 0 || target > archive->size)
        return -1;
    archive->position = static_cast<uint32_t>(target);
    return 0;
}

int ZCALLBACK CloseMemory(voidpf, voidpf)
{
    return 0;
}

int ZCALLBACK TestMemoryError(voidpf, voidpf)
{
    return 0;
}

} // namespace

zlib_filefunc_def MemoryArchiveFunctions(TMemoryArchive& archive)
{
    return {OpenMemory, ReadMemory, WriteMemory, TellMemory, SeekMemory, CloseMemory, TestMemoryError, &archive};
}
