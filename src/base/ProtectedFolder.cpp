#include "base/ProtectedFolder.h"

#include <sddl.h>

#include <cwchar>

#include "base/PathList.h"
#include "base/Str.h"

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

bool CreateProtectedFolderTree(const wchar_t* path, FolderAccess access, CPathList& created)
{
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    TStrStatic<MAX_PATH> buffer;
    if (wcslen(path) >= buffer.GetCapacity()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    buffer.Assign(path);
    wchar_t* text = buffer.GetBuffer();
    // "\\server\share" stands for a root.
    wchar_t* first = text;
    if (text[0] == L'\\' && text[1] == L'\\') {
        wchar_t* share = wcschr(text + 2, L'\\');
        first = share ? share + 1 : text + wcslen(text);
        while (*first && *first != L'\\')
            ++first;
    }
    CProtectedDescriptor descriptor;
    for (wchar_t* p = first;; ++p) {
        if (*p != L'\\' && *p)
            continue;
        wchar_t separator = *p;
        *p = 0;
        // "C:" is no folder to make.
        bool root = p == text || p[-1] == L':' || p[-1] == L'\\';
        if (!root && GetFileAttributesW(text) == INVALID_FILE_ATTRIBUTES) {
            if (!descriptor.Get() && !descriptor.Build(access))
                return false;
            if (CreateDirectoryW(text, descriptor.Attributes()))
                created.Add(text);
            else if (GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
        *p = separator;
        if (!separator) {
            DWORD attributes = GetFileAttributesW(path);
            return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
    }
}
