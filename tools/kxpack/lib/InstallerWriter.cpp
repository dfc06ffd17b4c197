#include "InstallerWriter.h"

#include <cstddef>
#include <cstring>

#include "InstallLimits.h"
#include "PackageFile.h"
#include "install/UninstallerImage.h"

namespace {

const size_t PIECE = 1 << 20;

} // namespace

bool CInstallerWriter::Put(const void* data, size_t size, std::string& error)
{
    // Refused as soon as it is known: the archive's size is only known
    // once it is compressed.
    if (!CheckInstallerSize(m_size + size, error)) {
        error = m_path + ": " + error;
        return false;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    m_pending.insert(m_pending.end(), bytes, bytes + size);
    m_size += size;
    return m_pending.size() < PIECE || Flush(error);
}

bool CInstallerWriter::Flush(std::string& error)
{
    m_checksum.Add(m_size - m_pending.size(), m_pending.data(), m_pending.size());
    if (!m_file.Write(m_pending.data(), m_pending.size(), error))
        return false;
    m_pending.clear();
    return true;
}

bool CInstallerWriter::WriteImage(const Bytes& stub, uint32_t imageEnd, std::string& error)
{
    Bytes image(stub.begin(), stub.begin() + imageEnd);
    memcpy(image.data() + PACKAGE_OFFSET_FIELD, &imageEnd, sizeof(imageEnd));
    // A signed installer taken as stub: its signature entry would point into
    // the new package, and a signing tool would cut the file there.
    RemoveImageSignature(image.data(), image.size());
    if (FindChecksumField(image.data(), image.size(), m_checksumAt))
        memset(&image[m_checksumAt], 0, 4);
    return Put(image.data(), image.size(), error);
}

bool CInstallerWriter::WriteContainer(const Bytes& container, std::string& error)
{
    return Put(container.data(), container.size(), error);
}

bool CInstallerWriter::BeginRecord(uint32_t type, int64_t created, uint32_t recordId, std::string& error)
{
    Bytes header = SerializeContainer(type, created, {});
    uint16_t one = 1;
    memcpy(header.data() + offsetof(ContainerHeader, recordCount), &one, sizeof(one));
    AppendU32(header, recordId);
    AppendU32(header, 0); // the size, once known
    m_recordSizeAt = m_size + header.size() - 4;
    if (!Put(header.data(), header.size(), error))
        return false;
    m_recordStart = m_size;
    m_recordName = type == CONTAINER_CUSTOM ? "custom files" : "program files";
    m_previous = 0;
    GetRecordKey(m_key);
    return true;
}

bool CInstallerWriter::Write(const uint8_t* data, size_t size, std::string& error)
{
    // The installer holds the record: its limit is the one to name first.
    if (!CheckInstallerSize(m_size + size, error) ||
        !CheckRecordSize(m_recordName, m_size - m_recordStart + size, error)) {
        error = m_path + ": " + error;
        return false;
    }
    while (size > 0) {
        size_t piece = size < PIECE ? size : PIECE;
        size_t at = m_pending.size();
        m_pending.resize(at + piece);
        memcpy(&m_pending[at], data, piece);
        m_previous = ScrambleRecordFrom(&m_pending[at], static_cast<ptrdiff_t>(piece), m_key,
                                        m_size - m_recordStart, m_previous);
        m_size += piece;
        if (m_pending.size() >= PIECE && !Flush(error))
            return false;
        data += piece;
        size -= piece;
    }
    return true;
}

bool CInstallerWriter::EndRecord(uint64_t& recordSize, std::string& error)
{
    recordSize = m_size - m_recordStart;
    if (!CheckRecordSize(m_recordName, recordSize, error)) {
        error = m_path + ": " + error;
        return false;
    }
    uint32_t size = static_cast<uint32_t>(recordSize);
    if (!Flush(error))
        return false;
    // The field was summed as zero.
    uint8_t field[4];
    memcpy(field, &size, 4);
    m_checksum.Add(m_recordSizeAt, field, 4);
    return m_file.WriteAt(m_recordSizeAt, field, 4, error);
}

bool CInstallerWriter::Finish(std::string& error)
{
    if (!Flush(error))
        return false;
    if (!m_checksumAt)
        return true;
    uint32_t checksum = m_checksum.Finish(m_size);
    return m_file.WriteAt(m_checksumAt, &checksum, sizeof(checksum), error);
}
