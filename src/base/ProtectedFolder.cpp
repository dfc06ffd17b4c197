#include "base/ProtectedFolder.h"

#include <sddl.h>

namespace {

// "P": inherited entries of the parent do not apply. OICI: files and
// folders made inside inherit the entry. 0x1200A9: read, list and execute.
const wchar_t ADMINS_ONLY_SDDL[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
const wchar_t USERS_READ_SDDL[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200A9;;;BU)";

} // namespace

CProtectedDescriptor::~CProtectedDescriptor()
{
    if (m_attributes.lpSecurityDescriptor)
        LocalFree(m_attributes.lpSecurityDescriptor);
}

bool CProtectedDescriptor::Build(FolderAccess access)
{
    if (m_attributes.lpSecurityDescriptor) {
        LocalFree(m_attributes.lpSecurityDescriptor);
        m_attributes.lpSecurityDescriptor = nullptr;
    }
    const wchar_t* sddl = access == FolderAccess::AdminsOnly ? ADMINS_ONLY_SDDL : USERS_READ_SDDL;
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                &m_attributes.lpSecurityDescriptor, nullptr) != FALSE;
}

bool CreateProtectedFolder(const wchar_t* path, FolderAccess access)
{
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    CProtectedDescriptor descriptor;
    return descriptor.Build(access) && CreateDirectoryW(path, descriptor.Attributes()) != FALSE;
}
