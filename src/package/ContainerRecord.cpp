#include "package/ContainerRecord.h"

#include <cstdlib>
#include <cstring>

#include "base/BinFile.h"
#include "base/SecureBuffer.h"
#include "package/PackageFormat.h"

bool ContainerRecord::Read(CBinFile& file)
{
    RecordHead head;
    if (file.Read(&head, sizeof(head)) != sizeof(head))
        return false;
    Free();
    id = head.id;
    size = head.size;
    offset = 0;

    int64_t position = file.Seek(0, FILE_CURRENT);
    uint64_t fileSize = file.GetSize();
    if (position < 0 || static_cast<uint64_t>(position) + head.size > fileSize) {
        file.Seek(0, FILE_END);
        return false;
    }
    data = static_cast<uint8_t*>(malloc(head.size ? head.size : 1));
    if (!data)
        return false;
    if (file.Read(data, head.size) != head.size) {
        Free();
        return false;
    }
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    DescrambleRecord(data, head.size, key);
    SecureZero(key, sizeof(key));
    return true;
}

bool ContainerRecord::Locate(CBinFile& file)
{
    RecordHead head;
    if (file.Read(&head, sizeof(head)) != sizeof(head))
        return false;
    Free();
    id = head.id;
    size = head.size;
    int64_t position = file.Seek(0, FILE_CURRENT);
    uint64_t fileSize = file.GetSize();
    if (position < 0 || static_cast<uint64_t>(position) + head.size > fileSize) {
        file.Seek(0, FILE_END);
        return false;
    }
    offset = static_cast<uint64_t>(position);
    return file.Seek(position + head.size, FILE_BEGIN) >= 0;
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
