#include "base/ConfinedFolder.h"

#include <cwchar>

#include "base/LinkCheck.h"
#include "base/SystemLibrary.h"

namespace {

// kernel32, Windows Vista and later.
using GetFinalPathNameByHandleWFn = DWORD(WINAPI*)(HANDLE file, LPWSTR path, DWORD chars, DWORD flags);
using SetFileInformationByHandleFn = BOOL(WINAPI*)(HANDLE file, int infoClass, LPVOID info, DWORD bytes);
using GetFileInformationByHandleExFn = BOOL(WINAPI*)(HANDLE file, int infoClass, LPVOID info, DWORD bytes);
const int FILE_DISPOSITION_INFO_CLASS = 4;
const int FILE_ATTRIBUTE_TAG_INFO_CLASS = 9;
struct TAttributeTagInfo {
    DWORD fileAttributes;
    DWORD reparseTag;
};

// Whether an open file is a link itself. The attributes alone are asked for
// where the system can: the whole information costs a volume query as well.
bool IsLink(HANDLE file, bool* isLink)
{
    DWORD attributes = 0;
    TAttributeTagInfo tag = {};
    auto getInformation = GetKernelFunction<GetFileInformationByHandleExFn>("GetFileInformationByHandleEx");
    if (getInformation && getInformation(file, FILE_ATTRIBUTE_TAG_INFO_CLASS, &tag, sizeof(tag))) {
        attributes = tag.fileAttributes;
    } else {
        BY_HANDLE_FILE_INFORMATION information;
        if (!GetFileInformationByHandle(file, &information))
            return false;
        attributes = information.dwFileAttributes;
    }
    *isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return true;
}

} // namespace

bool CConfinedFolder::DeleteOpenFile(HANDLE file)
{
    auto setInformation = GetKernelFunction<SetFileInformationByHandleFn>("SetFileInformationByHandle");
    BOOL remove = TRUE;
    return setInformation && setInformation(file, FILE_DISPOSITION_INFO_CLASS, &remove, sizeof(remove));
}

bool CConfinedFolder::GetResolvedPath(HANDLE file, CStr& path)
{
    auto getFinalPath = GetKernelFunction<GetFinalPathNameByHandleWFn>("GetFinalPathNameByHandleW");
    if (!getFinalPath)
        return false;
    // A resolved path may be longer than the one opened (a link's target).
    wchar_t resolved[1024];
    DWORD length = getFinalPath(file, resolved, 1024, 0 /* normalised, with a drive letter */);
    if (length == 0 || length >= 1024)
        return false;
    const wchar_t* start = resolved;
    if (wcsncmp(start, L"\\\\?\\UNC\\", 8) == 0) {
        start += 8;
        if (path.Format(L"\\\\%s", start) <= 0)
            return false;
        return true;
    }
    if (wcsncmp(start, L"\\\\?\\", 4) == 0)
        start += 4;
    return path.Format(L"%s", start) > 0;
}

bool CConfinedFolder::Init(const wchar_t* folder)
{
    m_resolved.Assign(L"");
    HANDLE handle = CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    if (!GetResolvedPath(handle, m_resolved))
        m_resolved.Assign(L"");
    CloseHandle(handle);
    return true;
}

bool CConfinedFolder::Contains(HANDLE file) const
{
    bool isLink = true;
    if (!IsLink(file, &isLink) || isLink) {
        SetLastError(ERROR_STOPPED_ON_SYMLINK);
        return false;
    }
    return LiesInside(file);
}

bool CConfinedFolder::LiesInside(HANDLE file) const
{
    if (m_resolved.IsEmpty())
        return true;
    // Both paths come from the file system, in the case it stores: short
    // names and spellings of the folder cannot differ.
    TStrStatic<MAX_PATH> path;
    if (GetResolvedPath(file, path) && IsPathBelow(path, m_resolved))
        return true;
    SetLastError(ERROR_STOPPED_ON_SYMLINK);
    return false;
}

bool CConfinedFolder::RemoveName(const wchar_t* path) const
{
    // Opened for deletion only, not followed: the name removed must be one
    // inside; the file's other names keep it.
    CBinFile file;
    if (!file.Open(path, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT))
        return false;
    if (!Contains(file.GetHandle()))
        return false;
    if (!DeleteOpenFile(file.GetHandle())) {
        DWORD error = GetLastError();
        file.Close();
        SetLastError(error);
        return false;
    }
    return file.Close();
}

bool CConfinedFolder::OpenWrite(CBinFile& file, const wchar_t* path) const
{
    bool created = false;
    if (!OpenForWriting(file, path, &created))
        return false;
    if (!created && !SetEndOfFile(file.GetHandle())) {
        DWORD error = GetLastError();
        file.Close();
        SetLastError(error);
        return false;
    }
    return true;
}

bool CConfinedFolder::OpenForWriting(CBinFile& file, const wchar_t* path, bool* created) const
{
    // A new file is opened with the right to delete it again; an existing one
    // is opened without emptying it, as it may still turn out to lie outside.
    // A link as the last component is opened itself, not followed, where the
    // system allows it.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    *created = file.Open(path, GENERIC_WRITE | DELETE, share, CREATE_NEW, flags);
    if (!*created) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return false;
        if (!file.Open(path, GENERIC_WRITE, share, OPEN_EXISTING, flags))
            return false;
        // A file with another name elsewhere (a hard link) would be written
        // there too: its name here is removed and a new file made instead.
        BY_HANDLE_FILE_INFORMATION information;
        if (!GetFileInformationByHandle(file.GetHandle(), &information)) {
            error = GetLastError();
            file.Close();
            SetLastError(error);
            return false;
        }
        if (information.nNumberOfLinks > 1) {
            file.Close();
            if (!RemoveName(path))
                return false;
            *created = file.Open(path, GENERIC_WRITE | DELETE, share, CREATE_NEW, flags);
            if (!*created)
                return false;
        }
    }
    // A file this open created is no link; only where it lies is in question.
    if (*created ? !LiesInside(file.GetHandle()) : !Contains(file.GetHandle())) {
        if (*created)
            DeleteOpenFile(file.GetHandle());
        file.Close();
        SetLastError(ERROR_STOPPED_ON_SYMLINK);
        return false;
    }
    return true;
}
