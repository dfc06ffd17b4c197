// Removing what an installation listed: its files one by one, then the
// folders below the installation folder that they leave empty. Nothing is
// ever removed with its contents here, and nothing through a link: below the
// installation folder's parent, a junction or symbolic link swapped in since
// the installation would send the deletion elsewhere.
#pragma once

#include <windows.h>

#include "base/PathList.h"
#include "base/Str.h"

// Deletes one listed file, unless it lies below `installFolder` with a link
// on the way. Every deletion of a listed file goes through here.
bool DeleteListedFile(const wchar_t* path, const wchar_t* installFolder);

// Removes a folder of the installation when it is empty and no link is on
// the way. Every removal of a folder below the installation folder goes
// through here.
bool RemoveListedFolder(const wchar_t* folder, const wchar_t* installFolder);

// The folders many deleted files leave behind, each tried once: noted as the
// files go, then removed deepest first, each only when empty.
class CEmptiedFolders {
public:
    explicit CEmptiedFolders(const wchar_t* top) : m_top(top) {}
    CEmptiedFolders(const CEmptiedFolders&) = delete;
    CEmptiedFolders& operator=(const CEmptiedFolders&) = delete;

    // Notes the folders `file` lies in below `top` (the installation folder,
    // itself not noted). Nothing for a file that is not below `top` or whose
    // path climbs with "." or "..".
    void Note(const wchar_t* file);
    // Removes the noted folders that are empty by now, deepest first.
    void Remove();

private:
    TStrStatic<MAX_PATH> m_top;
    CPathList m_folders;
};
