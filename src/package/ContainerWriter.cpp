#include "package/ContainerWriter.h"

#include "base/BinFile.h"
#include "base/SecureBuffer.h"
#include "package/Container.h"

CContainerWriter::CContainerWriter(CBinFile& file) : m_file(file)
{
    GetRecordKey(m_key);
}

CContainerWriter::~CContainerWriter()
{
    SecureZero(m_key, sizeof(m_key));
}

bool CContainerWriter::Fail()
{
    m_failed = true;
    return false;
}

bool CContainerWriter::Begin(uint32_t type, unsigned records)
{
    if (m_begun || records < 1 || records > CONTAINER_MAX_RECORDS)
        return Fail();
    m_begun = true;
    // The header as a new container makes it: magic and creation time.
    CDCContainer fresh;
    if (!fresh.Init(type))
        return Fail();
    ContainerHeader header = fresh.GetHeader();
    header.recordCount = static_cast<uint16_t>(records);
    if (m_file.Write(&header, sizeof(header)) != sizeof(header))
        return Fail();
    m_recordsLeft = records;
    return true;
}

bool CContainerWriter::BeginRecord(uint32_t id, uint32_t size)
{
    // The record before must be whole.
    if (m_failed || !m_begun || m_recordsLeft == 0 || m_written != m_size || size < 1)
        return Fail();
    RecordHead head = {id, size};
    if (m_file.Write(&head, sizeof(head)) != sizeof(head))
        return Fail();
    --m_recordsLeft;
    m_size = size;
    m_written = 0;
    m_previous = 0;
    return true;
}

bool CContainerWriter::WritePiece(uint8_t* data, uint32_t bytes)
{
    if (m_failed || !m_begun || !data || bytes > m_size - m_written)
        return Fail();
    if (bytes == 0)
        return true;
    m_previous = ScrambleRecordFrom(data, bytes, m_key, m_written, m_previous);
    if (m_file.Write(data, bytes) != bytes)
        return Fail();
    m_written += bytes;
    return true;
}

bool CContainerWriter::End()
{
    return !m_failed && m_begun && m_recordsLeft == 0 && m_written == m_size;
}
