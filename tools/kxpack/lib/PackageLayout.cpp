#include "PackageLayout.h"

#include <algorithm>
#include <cstddef>
#include <set>

namespace {

// Creation times a builder can have written: seconds since 1970, between
// 1980 and 2100. A flipped high byte lands far outside.
const int64_t EARLIEST_CREATED = 315532800;  // 1980-01-01
const int64_t LATEST_CREATED = 4102444800;   // 2100-01-01
// Signing tools pad the file to 8 bytes before the certificate table.
const uint64_t CERTIFICATE_TABLE_ALIGNMENT = 8;

std::string At(uint64_t offset)
{
    return "file " + OffsetText(offset);
}

// The records a builder writes into each kind of container.
std::set<uint32_t> ExpectedRecords(uint32_t type)
{
    switch (type) {
    case CONTAINER_LICENSE:
        return {RECORD_CONFIG, RECORD_CONFIG_SIGNATURE, RECORD_BITMAP, RECORD_BITMAP_SIGNATURE, RECORD_LICENSES,
                RECORD_LICENSES_SIGNATURE};
    case CONTAINER_CORE:
    case CONTAINER_CUSTOM:
        return {RECORD_ARCHIVE};
    case CONTAINER_UNINSTALL:
        return {RECORD_UNINSTALL_LIST, RECORD_UNINSTALL_FLAGS};
    default:
        return {};
    }
}

void CheckHeader(const ReadContainer& container, std::vector<std::string>& problems)
{
    const ContainerHeader& header = container.header;
    std::string where = "the container header at " + At(container.offset);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&header);
    size_t reserved[] = {offsetof(ContainerHeader, reserved1), offsetof(ContainerHeader, reserved2)};
    size_t sizes[] = {sizeof(header.reserved1), sizeof(header.reserved2)};
    for (int part = 0; part < 2; ++part)
        for (size_t i = reserved[part]; i < reserved[part] + sizes[part]; ++i)
            if (bytes[i]) {
                problems.push_back(where + ": its reserved byte at " + At(container.offset + i) +
                                   " is not zero");
                part = 2;
                break;
            }
    if (header.type < CONTAINER_LICENSE || header.type > CONTAINER_UNINSTALL)
        problems.push_back(where + ": type " + std::to_string(header.type) +
                           " is no kind a builder writes (the setup program skips it)");
    if (header.created < EARLIEST_CREATED || header.created > LATEST_CREATED)
        problems.push_back(where + ": its creation time " + std::to_string(header.created) +
                           " is not one a builder writes (between 1980 and 2100)");
    if (header.recordCount == 0)
        problems.push_back(where + ": it holds no records");
}

void CheckRecords(const ReadContainer& container, std::vector<std::string>& problems)
{
    std::set<uint32_t> expected = ExpectedRecords(container.header.type), seen;
    const char* kind = ContainerKindName(container.header.type);
    for (size_t i = 0; i < container.records.size(); ++i) {
        const ReadRecord& record = container.records[i];
        std::string where = "record " + std::to_string(i + 1) + " of the " + kind + " container, at " +
                            At(record.offset);
        if (!record.readable) {
            problems.push_back(where + ": it runs past the end of the file (the setup program skips it)");
            continue;
        }
        if (record.size == 0)
            problems.push_back(where + ": it is empty (the setup program finds no empty record)");
        else if (!seen.insert(record.id).second)
            problems.push_back(where + ": id " + std::to_string(record.id) +
                               " again (the setup program reads only the first)");
        else if (!expected.empty() && !expected.count(record.id))
            problems.push_back(where + ": id " + std::to_string(record.id) + " is not one a builder writes into a " +
                               kind + " container");
    }
}

} // namespace

const char* ContainerKindName(uint32_t type)
{
    switch (type) {
    case CONTAINER_LICENSE: return "licence";
    case CONTAINER_CORE: return "core";
    case CONTAINER_CUSTOM: return "custom";
    case CONTAINER_UNINSTALL: return "uninstall";
    default: return "unknown (dropped)";
    }
}

std::vector<std::string> CheckPackageLayout(const ReadPackage& package, uint64_t fileSize,
                                            const ImageLayout* image)
{
    std::vector<std::string> problems;
    std::set<uint32_t> kinds;
    for (const auto& container : package.containers) {
        CheckHeader(container, problems);
        CheckRecords(container, problems);
        uint32_t type = container.header.type;
        if (type >= CONTAINER_LICENSE && type <= CONTAINER_UNINSTALL && !kinds.insert(type).second)
            problems.push_back("a second " + std::string(ContainerKindName(type)) + " container at " +
                               At(container.offset) + " (the setup program keeps only the last one)");
    }
    if (kinds.count(CONTAINER_UNINSTALL) && (kinds.count(CONTAINER_CORE) || kinds.count(CONTAINER_CUSTOM)))
        problems.push_back("an uninstall container beside program files: no builder writes the two together, "
                           "and the setup program would run as the uninstaller");

    // After the last container: nothing, or a signing tool's certificate table.
    uint64_t end = package.endOffset;
    if (end < fileSize && package.packageOffset <= fileSize) {
        bool signature = image && image->certificateTable >= end &&
                         image->certificateTable - end < CERTIFICATE_TABLE_ALIGNMENT &&
                         static_cast<uint64_t>(image->certificateTable) + image->certificateTableSize == fileSize;
        if (!signature)
            problems.push_back(std::to_string(fileSize - end) + " bytes at " + At(end) +
                               " after the last container are not a container (the setup program stops "
                               "reading there)");
    }
    return problems;
}
