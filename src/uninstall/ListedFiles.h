// Removing what an installation listed: its files one by one, then the
// folders below the installation folder that they leave empty. Nothing is
// ever removed with its contents here, and nothing through a link: below the
// installation folder's parent, a junction or symbolic link swapped in since
// the installation would send the deletion elsewhere.
#pragma once

// Deletes one listed file, unless it lies below `installFolder` with a link
// on the way. Every deletion of a listed file goes through here.
bool DeleteListedFile(const wchar_t* path, const wchar_t* installFolder);

// Removes a folder of the installation when it is empty and no link is on
// the way. Every removal of a folder below the installation folder goes
// through here.
bool RemoveListedFolder(const wchar_t* folder, const wchar_t* installFolder);

// Removes the folders `file` lies in, innermost first, up to but not
// including `top` (the installation folder), stopping at the first that is
// not empty. Nothing for a file that is not below `top` or whose path climbs
// with "." or "..".
void RemoveEmptiedFolders(const wchar_t* file, const wchar_t* top);
