#include "base/FileSystem.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

#include "base/RegKey.h"
#include "base/KeyText.h"
#include "base/PathList.h"
#include "base/Str.h"

namespace {

bool Exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// The extension of the last component, with its dot; the terminating zero
// when there is none. A blank ends an extension, as for the shell.
const wchar_t* FindExtension(const wchar_t* path)
{
    const wchar_t* dot = nullptr;
    const wchar_t* p = path;
    for (; *p; ++p) {
        if (*p == L'\\' || *p == L' ')
            dot = nullptr;
        else if (*p == L'.')
            dot = p;
    }
    return dot ? dot : p;
}

// A path that cannot be removed now goes at the next restart, if the rule allows.
void DeleteLater(const wchar_t* path, const wchar_t* setupFolder)
{
    if (setupFolder && MayDeleteAtRestart(path, setupFolder))
        MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

} // namespace

bool CreateFolderTree(const wchar_t* path, CPathList* created)
{
    if (!path)
        return false;
    if (Exists(path))
        return true;
    TStrStatic<MAX_PATH> buffer(path);
    wchar_t* text = buffer.GetBuffer();
    for (wchar_t* p = text;; ++p) {
        if (*p != L'\\' && *p)
            continue;
        wchar_t separator = *p;
        *p = 0;
        bool ok = Exists(text);
        if (!ok && CreateDirectoryW(text, nullptr)) {
            ok = true;
            if (created)
                created->Add(text);
        }
        *p = separator;
        if (!ok || !separator)
            return ok;
    }
}

bool EnsureFolder(const wchar_t* path)
{
    if (!path)
        return false;
    TStrStatic<520> buffer(path);
    unsigned length = buffer.GetLength();
    // From the second-to-last character down to the second one.
    for (unsigned i = length >= 2 ? length - 2 : 0; i >= 1 && i < length; --i) {
        if (buffer.GetAt(i) != L'\\')
            continue;
        TStrStatic<520> parent(buffer);
        parent.Truncate(i);
        if (!Exists(parent) && !CreateDirectoryW(parent, nullptr))
            EnsureFolder(parent);
        break;
    }
    if (!Exists(buffer))
        return CreateDirectoryW(buffer, nullptr) != FALSE;
    return true;
}

unsigned DeleteFolderTree(const wchar_t* folder, const wchar_t* pattern, bool recurse, bool removeFolder,
                          const wchar_t* setupFolder)
{
    if (!folder || !pattern)
        return 0;
    TStrStatic<MAX_PATH> search;
    search.Format(L"%s\\%s", folder, pattern);
    unsigned count = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(search, &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            TStrStatic<MAX_PATH> path;
            path.Format(L"%s\\%s", folder, found.cFileName);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!recurse || wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
                    continue;
                count += DeleteFolderTree(path, pattern, recurse, recurse, setupFolder);
            } else {
                if (!DeleteFileW(path))
                    DeleteLater(path, setupFolder);
                ++count;
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    if (removeFolder) {
        if (RemoveDirectoryW(folder))
            ++count;
        else
            DeleteLater(folder, setupFolder);
    }
    return count;
}

void GetIconLocation(const wchar_t* path, wchar_t* iconFile, int* index)
{
    if (!path || !iconFile || !index)
        return;
    iconFile[0] = 0;
    *index = -1;
    SHFILEINFOW info = {};
    SHGetFileInfoW(path, 0, &info, sizeof(info), SHGFI_ICONLOCATION);
    if (info.szDisplayName[0]) {
        CopyText(iconFile, 256, info.szDisplayName);
        *index = info.iIcon;
        return;
    }
    wchar_t fileClass[256];
    CRegKey extensionKey;
    if (!extensionKey.Open(HKEY_CLASSES_ROOT, FindExtension(path), KEY_QUERY_VALUE) ||
        !extensionKey.QueryString(nullptr, fileClass, 256))
        return;
    TStrStatic<MAX_PATH> iconKeyName;
    iconKeyName.Format(L"%s\\DefaultIcon", fileClass);
    wchar_t location[130];
    CRegKey iconKey;
    if (!iconKey.Open(HKEY_CLASSES_ROOT, iconKeyName, KEY_QUERY_VALUE) ||
        !iconKey.QueryString(nullptr, location, 130))
        return;
    wchar_t* comma = wcschr(location, L',');
    if (!comma)
        return;
    *comma = 0;
    CopyText(iconFile, 256, location);
    *index = _wtoi(comma + 1);
}

void FormatSystemError(DWORD code, wchar_t* out, unsigned outChars)
{
    if (!out || outChars == 0)
        return;
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length && text) {
        CopyText(out, outChars, text);
    } else {
        // The system has no text for this code: say at least which code it was.
        TStrStatic<64> fallback;
        fallback.Format(L"Error %lu (0x%08lX).", static_cast<unsigned long>(code), static_cast<unsigned long>(code));
        CopyText(out, outChars, fallback);
    }
    if (text)
        LocalFree(text);
}

bool IsRelativeInside(const wchar_t* relative)
{
    if (!relative || !*relative || relative[0] == L'\\' || relative[0] == L'/' || wcschr(relative, L':'))
        return false;
    const wchar_t* part = relative;
    for (;;) {
        size_t length = wcscspn(part, L"\\/");
        bool last = part[length] == 0;
        // An empty component is allowed only at the end (a trailing separator).
        if (length == 0 && !last)
            return false;
        // Windows drops trailing dots and blanks, so "..", "..." and ". ." all
        // climb or stay; none is a name.
        if (length > 0 && wcsspn(part, L". ") >= length)
            return false;
        if (last)
            return true;
        part += length + 1;
    }
}

bool JoinPathInside(const wchar_t* base, const wchar_t* relative, CStr& out)
{
    out.Assign(static_cast<const wchar_t*>(nullptr));
    if (!base || !*base || !IsRelativeInside(relative))
        return false;
    TStrStatic<MAX_PATH> folder(base);
    while (folder.GetLength() > 1 && folder.GetAt(folder.GetLength() - 1) == L'\\')
        folder.Truncate(folder.GetLength() - 1);
    // Too long is refused, not cut: a cut path could name another folder.
    if (out.Format(L"%s\\%s", folder.GetString(), relative) <= 0)
        return false;
    out.Replace(L'/', L'\\');
    return true;
}

bool MayDeleteAtRestart(const wchar_t* path, const wchar_t* setupFolder)
{
    if (!path || !setupFolder)
        return false;
    size_t length = wcslen(path);
    return length < wcslen(setupFolder) && wcsncmp(path, setupFolder, length) != 0;
}

bool MoveToFreeName(const wchar_t* path, const wchar_t* suffix, CStr& moved)
{
    for (unsigned n = 0; n < 100; ++n) {
        if (moved.Format(L"%s.%u.%s", path, n, suffix) <= 0)
            break;
        if (MoveFileExW(path, moved, 0))
            return true;
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            break;
    }
    DWORD error = GetLastError();
    moved.Assign(L"");
    SetLastError(error);
    return false;
}
