#include "uninstall/ListedFiles.h"

#include <windows.h>

#include <cwchar>

#include "base/FileSystem.h"
#include "base/LinkCheck.h"
#include "base/Str.h"

namespace {

// Whether nothing below the installation folder's parent on the way to
// `path` is a link; paths elsewhere (shortcuts) are not judged here.
bool IsReachedWithoutLinks(const wchar_t* path, const wchar_t* installFolder)
{
    if (!installFolder || !IsPathBelow(path, installFolder))
        return true;
    TStrStatic<MAX_PATH> parent;
    return GetParentFolder(installFolder, parent) && IsFreeOfLinks(path, parent);
}

} // namespace

bool DeleteListedFile(const wchar_t* path, const wchar_t* installFolder)
{
    return path && *path && IsReachedWithoutLinks(path, installFolder) && DeleteFileW(path) != FALSE;
}

bool RemoveListedFolder(const wchar_t* folder, const wchar_t* installFolder)
{
    // RemoveDirectoryW removes an empty folder only.
    return folder && *folder && IsReachedWithoutLinks(folder, installFolder) && RemoveDirectoryW(folder) != FALSE;
}

void RemoveEmptiedFolders(const wchar_t* file, const wchar_t* top)
{
    if (!file || !top || !*top)
        return;
    size_t topLength = wcslen(top);
    while (topLength > 0 && top[topLength - 1] == L'\\')
        --topLength;
    if (topLength == 0 || _wcsnicmp(file, top, topLength) != 0 || file[topLength] != L'\\' ||
        !IsRelativeInside(file + topLength + 1))
        return;
    TStrStatic<MAX_PATH> folder(file);
    for (;;) {
        int slash = folder.ReverseFind(L'\\');
        if (slash <= static_cast<int>(topLength))
            return; // the file's folder is `top` itself
        folder.Truncate(static_cast<unsigned>(slash));
        if (!RemoveListedFolder(folder, top))
            return;
    }
}
