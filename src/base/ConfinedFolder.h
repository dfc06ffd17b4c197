// Files the elevated program writes below one folder, checked after opening:
// the opened file must be no link and, as the file system resolves it, lie
// inside the folder. A link met on the way, even one swapped in after every
// check of the path, is then found before a byte is written.
#pragma once

#include <windows.h>

#include "base/BinFile.h"
#include "base/LinkCheck.h"
#include "base/Str.h"

class CConfinedFolder {
public:
    CConfinedFolder() = default;
    CConfinedFolder(const CConfinedFolder&) = delete;
    CConfinedFolder& operator=(const CConfinedFolder&) = delete;

    // Resolves the folder (it must exist). Where the system cannot tell the
    // resolved path of a handle (before Vista) only links are looked for.
    bool Init(const wchar_t* folder);

    // Whether an open file is no link and lies inside the folder. False with
    // ERROR_STOPPED_ON_SYMLINK otherwise.
    bool Contains(HANDLE file) const;

    // Opens `path` for writing and empties it, but only once it is known to
    // lie inside; a file that has other names (a hard link) is never
    // written: that name is removed and a new file made in its place; a file outside is left as it was, and one the open created
    // there is deleted again. False with the reason otherwise.
    bool OpenWrite(CBinFile& file, const wchar_t* path) const;
    // The same, but a file that was there already is not emptied yet: its
    // writer empties it when the first bytes for it are known good.
    // `*created` tells which it was.
    bool OpenForWriting(CBinFile& file, const wchar_t* path, bool* created) const;

    // Deletes a file through its open handle, where the handle may delete
    // (a file OpenWrite created): its path may lead elsewhere by now.
    static bool DeleteOpenFile(HANDLE file);

private:
    // Removes the name `path` of a file that has others (a hard link).
    bool RemoveName(const wchar_t* path) const;
    // Whether the file, as the file system resolves it, lies inside.
    bool LiesInside(HANDLE file) const;
    // "\\?\C:\x" or "\\?\UNC\server\share\x" as "C:\x" or "\\server\share\x".
    static bool GetResolvedPath(HANDLE file, CStr& path);

    TStrStatic<MAX_PATH> m_resolved; // empty: the system cannot tell
};
