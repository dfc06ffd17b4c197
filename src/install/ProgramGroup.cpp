#include "install/ProgramGroup.h"

#include <windows.h>
#include <shlobj.h>

#include "base/ComPtr.h"
#include "base/FileSystem.h"
#include "base/KeyText.h"
#include "base/Str.h"

bool GetSpecialFolder(int common, int personal, CStr& path)
{
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, common, &list)) &&
        FAILED(SHGetSpecialFolderLocation(nullptr, personal, &list)))
        return false;
    bool ok = path.GetCapacity() >= MAX_PATH && SHGetPathFromIDListW(list, path.GetBuffer()) != FALSE;
    path.UpdateLength();
    TComPtr<IMalloc> allocator;
    if (SUCCEEDED(SHGetMalloc(reinterpret_cast<IMalloc**>(allocator.Receive()))))
        allocator->Free(list);
    return ok;
}

bool GetProgramGroupFolder(const wchar_t* groupName, CStr& path)
{
    TStrStatic<MAX_PATH> programs;
    if (!groupName || !GetSpecialFolder(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, programs))
        return false;
    if (!JoinPathInside(programs, groupName, path)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    return true;
}

bool CreateProgramGroupFolder(const wchar_t* groupName, wchar_t* out, bool* created)
{
    if (!out || !created)
        return false;
    *created = false;
    TStrStatic<MAX_PATH> path, parent;
    if (!GetProgramGroupFolder(groupName, path))
        return false;
    // The parents may exist or not; the group's own folder counts as made
    // only when CreateDirectoryW made it, so that one made by someone else in
    // the meantime is never taken for this installation's.
    parent.Assign(path);
    int slash = parent.ReverseFind(L'\\');
    if (slash > 0)
        parent.Truncate(static_cast<unsigned>(slash));
    if (slash <= 0 || !CreateFolderTree(parent))
        return false;
    if (CreateDirectoryW(path, nullptr)) {
        *created = true;
    } else {
        DWORD attributes = GetFileAttributesW(path);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (attributes != INVALID_FILE_ATTRIBUTES)
                SetLastError(ERROR_DIRECTORY);
            return false;
        }
    }
    CopyText(out, MAX_PATH, path);
    return true;
}

bool RemoveEmptyFolder(const wchar_t* folder)
{
    // RemoveDirectoryW removes an empty folder only.
    return folder && *folder && RemoveDirectoryW(folder) != FALSE;
}
