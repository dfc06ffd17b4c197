// The resources kxpack writes into each installer's image: the package
// certificate the setup program checks its package with, the product's
// icon and its version information. Every other resource of the stub stays
// as it was; the uninstaller, being the same image, carries them too.
#pragma once

#include <string>
#include <vector>

#include "Bytes.h"
#include "IconFile.h"
#include "PeResources.h"
#include "VersionResource.h"

struct InstallerResourceInputs {
    Bytes certificate;              // DER
    const IconFile* icon = nullptr; // null: the stub's own icon stays
    VersionStrings version;
};

// The version texts of an installer from its configuration:
// ProductName company_program=, CompanyName company_name=, FileDescription
// "<company_program> Setup", and both versions product_version= ("5.00",
// the uninstall entry's version too, when it is not set).
VersionStrings InstallerVersionStrings(const std::u16string& configText);

bool WriteInstallerResources(Bytes& image, const InstallerResourceInputs& inputs, std::string& error);

// The package certificate among an image's resources; false when there is none.
bool FindCertificateResource(const std::vector<ResourceEntry>& entries, Bytes& der);
