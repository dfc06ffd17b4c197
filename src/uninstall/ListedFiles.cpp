#include "uninstall/ListedFiles.h"

#include <windows.h>

#include <cstdlib>
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

namespace {

// The length of `top` without trailing backslashes, when `file` lies below
// it without climbing; 0 otherwise.
size_t TopLengthFor(const wchar_t* file, const wchar_t* top)
{
    if (!file || !top || !*top)
        return 0;
    size_t topLength = wcslen(top);
    while (topLength > 0 && top[topLength - 1] == L'\\')
        --topLength;
    if (topLength == 0 || _wcsnicmp(file, top, topLength) != 0 || file[topLength] != L'\\' ||
        !IsRelativeInside(file + topLength + 1))
        return 0;
    return topLength;
}

// Longer first (a folder is longer than its parent), then by name, so that
// a folder noted twice comes twice in a row.
int DeepestFirst(const void* a, const void* b)
{
    const wchar_t* left = *static_cast<const wchar_t* const*>(a);
    const wchar_t* right = *static_cast<const wchar_t* const*>(b);
    size_t leftLength = wcslen(left), rightLength = wcslen(right);
    if (leftLength != rightLength)
        return leftLength < rightLength ? 1 : -1;
    return _wcsicmp(left, right);
}

} // namespace

void CEmptiedFolders::Note(const wchar_t* file)
{
    size_t topLength = TopLengthFor(file, m_top);
    if (!topLength)
        return;
    TStrStatic<MAX_PATH> folder(file);
    for (;;) {
        int slash = folder.ReverseFind(L'\\');
        if (slash <= static_cast<int>(topLength))
            return;
        folder.Truncate(static_cast<unsigned>(slash));
        // Files come folder by folder: a folder just noted has its parents noted too.
        for (unsigned i = m_folders.GetCount(); i-- > 0 && i + 8 >= m_folders.GetCount();)
            if (_wcsicmp(m_folders[i], folder) == 0)
                return;
        m_folders.Add(folder);
    }
}

void CEmptiedFolders::Remove()
{
    TArray<const wchar_t*, 16> order;
    for (unsigned i = 0; i < m_folders.GetCount(); ++i)
        order.Add(m_folders[i]);
    if (order.GetCount() > 1)
        qsort(order.GetAt(0), order.GetCount(), sizeof(const wchar_t*), DeepestFirst);
    const wchar_t* last = nullptr;
    for (unsigned i = 0; i < order.GetCount(); ++i) {
        // A folder noted twice is tried once.
        if (last && _wcsicmp(last, order[i]) == 0)
            continue;
        last = order[i];
        RemoveListedFolder(order[i], m_top);
    }
}
