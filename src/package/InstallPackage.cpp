#include "package/InstallPackage.h"

#include <cstring>
#include <new>

#include "base/BinFile.h"

namespace {

template <typename T>
bool MoveInto(T*& slot, CDCContainer& scratch)
{
    T* container = new (std::nothrow) T;
    if (!container)
        return false;
    container->TakeFrom(scratch);
    container->Validate();
    // A later container of the same type replaces the earlier one.
    delete slot;
    slot = container;
    return true;
}

} // namespace

bool InstallPackage::Load(const wchar_t* path)
{
    Free();
    CBinFile file;
    if (!file.OpenRead(path))
        return false;
    m_path.Assign(path);
    uint8_t dosHeader[DOS_HEADER_BYTES];
    if (file.Read(dosHeader, sizeof(dosHeader)) != sizeof(dosHeader))
        return false;
    uint32_t packageOffset = 0;
    memcpy(&packageOffset, dosHeader + PACKAGE_OFFSET_FIELD, sizeof(packageOffset));
    if (file.Seek(packageOffset, FILE_BEGIN) == -1)
        return false;

    // Reading stops at the first header that is short or invalid: normally the
    // end of the file; trailing bytes are ignored.
    CDCContainer scratch;
    scratch.Init(0);
    while (scratch.Read(file, true)) {
        if (!Keep(scratch))
            break;
        scratch.Init(0);
    }
    file.Close();
    return m_pLicense && (m_pCore || m_pUninstall);
}

bool InstallPackage::Keep(CDCContainer& scratch)
{
    switch (scratch.GetHeader().type) {
    case CONTAINER_LICENSE:
        return MoveInto(m_pLicense, scratch);
    case CONTAINER_CORE:
        return MoveInto(m_pCore, scratch);
    case CONTAINER_CUSTOM:
        return MoveInto(m_pCustom, scratch);
    case CONTAINER_UNINSTALL:
        return MoveInto(m_pUninstall, scratch);
    default:
        return true; // read and dropped
    }
}

void InstallPackage::Free()
{
    m_path.Assign(L"");
    delete m_pLicense;
    delete m_pCore;
    delete m_pCustom;
    delete m_pUninstall;
    m_pLicense = nullptr;
    m_pCore = nullptr;
    m_pCustom = nullptr;
    m_pUninstall = nullptr;
}
