#include "InstallerResources.h"

#include "IconResources.h"
#include "PeResourceSection.h"
#include "SetupConfigText.h"
#include "res/ResourceIds.h"

namespace {

// Language-neutral, as the program looks it up.
const uint16_t NEUTRAL = 0;

} // namespace

VersionStrings InstallerVersionStrings(const std::u16string& configText)
{
    VersionStrings strings;
    LookupConfigValue(configText, u"company_program=", strings.productName);
    LookupConfigValue(configText, u"company_name=", strings.companyName);
    strings.fileDescription = strings.productName + u" Setup";
    if (!LookupConfigValue(configText, u"product_version=", strings.productVersion))
        strings.productVersion = u"5.00";
    strings.fileVersion = strings.productVersion;
    return strings;
}

bool WriteInstallerResources(Bytes& image, const InstallerResourceInputs& inputs, std::string& error)
{
    std::vector<ResourceEntry> entries;
    if (!ReadImageResources(CMemorySource(image), image.size(), entries, error)) {
        error = "its resources: " + error;
        return false;
    }
    // An installer taken as stub brings the certificate it was built with:
    // whatever language it stood in, only the new one may remain.
    ResourceId type = ResourceId::Number(RESOURCE_TYPE_RCDATA), name = ResourceId::Number(IDR_PACKAGE_CERTIFICATE);
    RemoveResources(entries, type, &name);
    ResourceEntry certificate;
    certificate.type = type;
    certificate.name = name;
    certificate.language = NEUTRAL;
    certificate.data = inputs.certificate;
    SetResource(entries, certificate);
    if (inputs.icon && !SetIconGroup(entries, INSTALLER_ICON_GROUP, VERSION_RESOURCE_LANGUAGE, *inputs.icon, error)) {
        error = "its icon: " + error;
        return false;
    }
    // One version resource, whatever languages the stub's came in.
    if (!CheckVersionStrings(inputs.version, error)) {
        error = "its version information: " + error;
        return false;
    }
    RemoveResources(entries, ResourceId::Number(RESOURCE_TYPE_VERSION));
    SetResource(entries, VersionResourceEntry(inputs.version));
    if (!WriteImageResources(image, entries, error)) {
        error = "cannot write its resources: " + error;
        return false;
    }
    return true;
}

bool FindCertificateResource(const std::vector<ResourceEntry>& entries, Bytes& der)
{
    for (const ResourceEntry& entry : entries)
        if (entry.type == ResourceId::Number(RESOURCE_TYPE_RCDATA) &&
            entry.name == ResourceId::Number(IDR_PACKAGE_CERTIFICATE) && !entry.data.empty()) {
            der = entry.data;
            return true;
        }
    return false;
}
