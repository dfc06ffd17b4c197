#include "package/ContainerRecord.h"

#include <cstdlib>
#include <cstring>

#include "base/BinFile.h"
#include "base/SecureBuffer.h"
#include "package/PackageFormat.h"

namespace {

// Reads a record's head into `record` (its data freed first) and tells
// where the data starts; fails, at the end of the file, when the data would
// run past it.
bool ReadHead(CBinFile& file, ContainerRecord& record, int64_t* position)
{
    RecordHead head;
    if (file.Read(&head, sizeof(head)) != sizeof(head))
        return false;
    record.Free();
    record.id = head.id;
    record.size = head.size;
    record.offset = 0;
    *position = file.Seek(0, FILE_CURRENT);
    if (*position < 0 || static_cast<uint64_t>(*position) + head.size > file.GetSize()) {
        file.Seek(0, FILE_END);
        return false;
    }
    return true;
}

} // namespace

bool ContainerRecord::Read(CBinFile& file)
{
    int64_t position = 0;
    if (!ReadHead(file, *this, &position))
        return false;
    data = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (!data)
        return false;
    if (file.Read(data, size) != size) {
        Free();
        return false;
    }
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    DescrambleRecord(data, size, key);
    SecureZero(key, sizeof(key));
    return true;
}

bool ContainerRecord::Locate(CBinFile& file)
{
    int64_t position = 0;
    if (!ReadHead(file, *this, &position))
        return false;
    offset = static_cast<uint64_t>(position);
    return file.Seek(position + size, FILE_BEGIN) >= 0;
}

bool ContainerRecord::Write(CBinFile& file) const
{
    if (!data || size < 1)
        return false;
    CSecureBuffer scratch;
    if (!scratch.Allocate(size))
        return false;
    RecordHead head = {id, size};
    if (file.Write(&head, sizeof(head)) != sizeof(head))
        return false;
    memcpy(scratch.Data(), data, size);
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    ScrambleRecord(scratch.Data(), size, key);
    SecureZero(key, sizeof(key));
    return file.Write(scratch.Data(), size) == size;
}

void ContainerRecord::Free()
{
    if (data) {
        SecureZero(data, size);
        free(data);
    }
    data = nullptr;
}
