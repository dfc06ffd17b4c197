#include "ResourceReport.h"

#include "IconResources.h"
#include "InstallerResources.h"
#include "PeResourceSection.h"
#include "TextCodec.h"

namespace {

const ResourceEntry* FindVersion(const std::vector<ResourceEntry>& entries)
{
    const ResourceEntry* found = nullptr;
    for (const ResourceEntry& entry : entries)
        if (entry.type == ResourceId::Number(RESOURCE_TYPE_VERSION) &&
            (!found || entry.language == VERSION_RESOURCE_LANGUAGE))
            found = &entry;
    return found;
}

bool HasGroup(const std::vector<ResourceEntry>& entries, uint16_t group)
{
    for (const ResourceEntry& entry : entries)
        if (entry.type == ResourceId::Number(RESOURCE_TYPE_GROUP_ICON) && entry.name == ResourceId::Number(group))
            return true;
    return false;
}

} // namespace

ResourceReport ReadResourceReport(const CByteSource& file, uint64_t imageEnd)
{
    ResourceReport report;
    std::vector<ResourceEntry> entries;
    std::string error;
    if (!ReadImageResources(file, imageEnd, entries, error)) {
        report.problems.push_back("resources: " + error);
        return report;
    }
    report.read = true;
    report.hasCertificate = FindCertificateResource(entries, report.certificate);
    if (HasGroup(entries, INSTALLER_ICON_GROUP)) {
        IconGroupInfo group;
        if (ReadIconGroup(entries, INSTALLER_ICON_GROUP, group, error)) {
            report.hasIcon = true;
            report.icon = group.images;
        } else {
            report.problems.push_back(error);
        }
    }
    if (const ResourceEntry* version = FindVersion(entries)) {
        VersionInfo info;
        if (ReadVersionResource(version->data, info, error)) {
            report.hasVersion = true;
            if (info.hasFixedInfo) {
                report.fileVersion = VersionNumbersText(info.fileVersion);
                report.productVersion = VersionNumbersText(info.productVersion);
            }
            for (const auto& pair : info.strings)
                report.versionStrings.emplace_back(ToUtf8(pair.first), ToUtf8(pair.second));
        } else {
            report.problems.push_back("version information: " + error);
        }
    }
    return report;
}
