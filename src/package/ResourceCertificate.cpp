// The setup program's package certificate: the resource kxpack writes into
// every installer, so that one program build serves every vendor. Whoever
// could change the resource could change the code as well; the installer's
// Authenticode signature is what vouches for both.
#include <windows.h>

#include "package/PackageCertificate.h"
#include "res/ResourceIds.h"

namespace {

// Resources stay mapped with the module: nothing to free.
bool FindCertificate(const uint8_t** data, uint32_t* size)
{
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_PACKAGE_CERTIFICATE), RT_RCDATA);
    if (!resource)
        return false;
    DWORD bytes = SizeofResource(nullptr, resource);
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* locked = loaded ? LockResource(loaded) : nullptr;
    if (!locked || bytes == 0)
        return false;
    *data = static_cast<const uint8_t*>(locked);
    *size = bytes;
    return true;
}

} // namespace

const uint8_t* GetPackageCertificate()
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    return FindCertificate(&data, &size) ? data : nullptr;
}

uint32_t GetPackageCertificateSize()
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    return FindCertificate(&data, &size) ? size : 0;
}
