#include "PackageFile.h"

#include <cstring>

#include "install/UninstallerImage.h"

Bytes SerializeContainer(uint32_t type, int64_t created, const std::vector<PackageRecord>& records)
{
    ContainerHeader header;
    memset(&header, 0, sizeof(header));
    header.magic1 = CONTAINER_MAGIC_1;
    header.magic2 = CONTAINER_MAGIC_2;
    header.created = created;
    header.type = type;
    header.recordCount = static_cast<uint16_t>(records.size());

    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    Bytes out;
    Append(out, &header, sizeof(header));
    for (const auto& record : records) {
        AppendU32(out, record.id);
        AppendU32(out, static_cast<uint32_t>(record.data.size()));
        size_t start = out.size();
        out.insert(out.end(), record.data.begin(), record.data.end());
        ScrambleRecord(out.data() + start, static_cast<ptrdiff_t>(record.data.size()), key);
    }
    return out;
}

Bytes ComposeProgramFile(const Bytes& stub, uint32_t imageEnd, const std::vector<Bytes>& containers)
{
    Bytes out(stub.begin(), stub.begin() + imageEnd);
    memcpy(out.data() + PACKAGE_OFFSET_FIELD, &imageEnd, sizeof(imageEnd));
    // A signed installer taken as stub: its signature entry would point into
    // the new package, and a signing tool would cut the file there.
    RemoveImageSignature(out.data(), out.size());
    for (const auto& container : containers)
        out.insert(out.end(), container.begin(), container.end());
    return out;
}

const ReadRecord* ReadContainer::Find(uint32_t id) const
{
    for (const auto& record : records)
        if (record.readable && record.id == id && record.size > 0)
            return &record;
    return nullptr;
}

const ReadContainer* ReadPackage::Kept(uint32_t type) const
{
    const ReadContainer* kept = nullptr;
    for (const auto& container : containers)
        if (container.header.type == type)
            kept = &container;
    return kept;
}

bool ReadPackage::Loads() const
{
    return Kept(CONTAINER_LICENSE) && (Kept(CONTAINER_CORE) || Kept(CONTAINER_UNINSTALL));
}

bool ReadPackageFile(const CByteSource& file, ReadPackage& package, std::string& error)
{
    package = ReadPackage();
    const uint64_t size = file.Size();
    uint8_t dosHeader[DOS_HEADER_BYTES];
    if (size < DOS_HEADER_BYTES || !file.Read(0, dosHeader, sizeof(dosHeader))) {
        error = "shorter than a DOS header";
        return false;
    }
    package.packageOffset = ReadU32(dosHeader + PACKAGE_OFFSET_FIELD);
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);

    uint64_t position = package.packageOffset;
    uint64_t held = 0;
    for (;;) {
        if (position >= size) {
            package.stopReason = position == size ? "end of file" : "package offset past the end of the file";
            break;
        }
        if (size - position < sizeof(ContainerHeader)) {
            package.stopReason = "trailing bytes shorter than a container header";
            break;
        }
        ReadContainer container;
        container.offset = position;
        if (!file.Read(position, &container.header, sizeof(ContainerHeader))) {
            error = "cannot be read";
            return false;
        }
        if (!container.header.IsValid(CONTAINER_MAX_TYPE)) {
            package.stopReason = "no valid container header";
            break;
        }
        position += sizeof(ContainerHeader);
        for (unsigned i = 0; i < container.header.recordCount; ++i) {
            ReadRecord record;
            record.offset = position;
            RecordHead head;
            if (size - position < sizeof(RecordHead) || !file.Read(position, &head, sizeof(head))) {
                position = size;
                container.records.push_back(record);
                continue;
            }
            record.id = head.id;
            record.size = head.size;
            position += sizeof(RecordHead);
            if (record.size > size - position) {
                // The setup program's read comes up short and leaves the
                // position at the end of the file.
                position = size;
                container.records.push_back(record);
                continue;
            }
            record.readable = true;
            // Held only within the budget: sizes are the file's to claim, and
            // one that stands in a hole of a sparse file reads as zeros.
            if (record.id != RECORD_ARCHIVE && record.size <= RECORD_HELD_BYTES - held) {
                record.data.resize(record.size);
                if (!file.Read(position, record.data.data(), record.size)) {
                    error = "cannot be read";
                    return false;
                }
                DescrambleRecord(record.data.data(), static_cast<ptrdiff_t>(record.data.size()), key);
                record.held = true;
                held += record.size;
            }
            position += record.size;
            container.records.push_back(std::move(record));
        }
        package.containers.push_back(std::move(container));
    }
    package.endOffset = position;
    return true;
}

bool ReadPackageFile(const Bytes& file, ReadPackage& package, std::string& error)
{
    return ReadPackageFile(CMemorySource(file), package, error);
}

CArchiveBytes RecordBytes(const CByteSource& file, const ReadRecord& record)
{
    if (record.held)
        return CArchiveBytes(record.data.data(), record.data.size());
    return CArchiveBytes(file, record.DataOffset(), record.size);
}
