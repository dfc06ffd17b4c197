#include "package/Container.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "base/BinFile.h"

namespace {

int64_t CurrentTime()
{
    // Seconds since 1970-01-01 UTC from the system's 100 ns ticks since 1601.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

// The id of the record at the file position, which stays where it is; 0
// when there is none.
uint32_t PeekRecordId(CBinFile& file)
{
    int64_t position = file.Seek(0, FILE_CURRENT);
    uint32_t id = 0;
    if (position < 0 || file.Read(&id, sizeof(id)) != sizeof(id))
        id = 0;
    file.Seek(position, FILE_BEGIN);
    return id;
}

} // namespace

CDCContainer::CDCContainer()
{
    memset(&m_header, 0, sizeof(m_header));
}

CDCContainer::~CDCContainer()
{
    FreeRecords();
}

void CDCContainer::FreeRecords()
{
    for (unsigned i = 0; i < m_records.GetCount(); ++i)
        m_records[i].Free();
    m_records.Empty();
}

bool CDCContainer::Init(uint32_t type)
{
    memset(&m_header, 0, sizeof(m_header));
    FreeRecords();
    m_header.magic1 = CONTAINER_MAGIC_1;
    m_header.magic2 = CONTAINER_MAGIC_2;
    m_header.type = type;
    m_header.created = CurrentTime();
    return true;
}

bool CDCContainer::Read(CBinFile& file, bool archiveInFile)
{
    if (file.Read(&m_header, sizeof(m_header)) != sizeof(m_header) ||
        !m_header.IsValid(CONTAINER_MAX_TYPE))
        return false;
    FreeRecords();
    bool archives = archiveInFile && (m_header.type == CONTAINER_CORE || m_header.type == CONTAINER_CUSTOM);
    for (unsigned i = 0; i < m_header.recordCount; ++i) {
        ContainerRecord record = {0, 0, nullptr, 0};
        // The program archive stays where it is: it may be gigabytes.
        if (archives && PeekRecordId(file) == RECORD_ARCHIVE) {
            if (!record.Locate(file))
                continue;
            if (!record.size)
                record.id = 0;
            m_records.Add(record);
            continue;
        }
        if (!record.Read(file)) {
            record.Free();
            continue;
        }
        if (!record.size) {
            // A record without data stands as an empty entry that no lookup finds.
            record.Free();
            record.id = 0;
        }
        if (!m_records.Add(record))
            record.Free();
    }
    return Validate();
}

bool CDCContainer::Write(CBinFile& file) const
{
    if (m_header.recordCount == 0 || m_header.recordCount != m_records.GetCount())
        return false;
    if (file.Write(&m_header, sizeof(m_header)) != sizeof(m_header))
        return false;
    for (unsigned i = 0; i < m_records.GetCount(); ++i)
        if (!m_records[i].Write(file))
            return false;
    return true;
}

bool CDCContainer::AddRecord(uint32_t id, const void* data, uint32_t size)
{
    ContainerRecord record = {0, 0, nullptr, 0};
    if (data && size) {
        record.data = static_cast<uint8_t*>(malloc(size));
        if (!record.data)
            return false;
        memcpy(record.data, data, size);
        record.id = id;
        record.size = size;
    }
    if (!m_records.Add(record)) {
        record.Free();
        return false;
    }
    m_header.recordCount = static_cast<uint16_t>(m_records.GetCount());
    return Validate();
}

bool CDCContainer::FindRecord(uint32_t id, const uint8_t** data, uint32_t* size) const
{
    for (unsigned i = 0; i < m_records.GetCount(); ++i) {
        const ContainerRecord& record = m_records[i];
        if (record.id == id && record.data) {
            if (data)
                *data = record.data;
            if (size)
                *size = record.size;
            return true;
        }
    }
    return false;
}

bool CDCContainer::FindRecordInFile(uint32_t id, uint64_t* offset, uint32_t* size) const
{
    for (unsigned i = 0; i < m_records.GetCount(); ++i) {
        const ContainerRecord& record = m_records[i];
        if (record.id == id && !record.data && record.offset) {
            if (offset)
                *offset = record.offset;
            if (size)
                *size = record.size;
            return true;
        }
    }
    return false;
}

void CDCContainer::TakeFrom(CDCContainer& other)
{
    if (&other == this)
        return;
    FreeRecords();
    memcpy(&m_header, &other.m_header, sizeof(m_header));
    for (unsigned i = 0; i < other.m_records.GetCount(); ++i) {
        if (!m_records.Add(other.m_records[i]))
            other.m_records[i].Free(); // cannot grow: the record is lost as a failed copy would be
    }
    other.m_records.Empty();
}
