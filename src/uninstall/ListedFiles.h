// Removing what an installation listed: its files one by one, then the
// folders below the installation folder that they leave empty. Nothing is
// ever removed with its contents here.
#pragma once

// Deletes one listed file. Every deletion of a listed file goes through here.
bool DeleteListedFile(const wchar_t* path);

// Removes a folder of the installation when it is empty. Every removal of a
// folder below the installation folder goes through here.
bool RemoveListedFolder(const wchar_t* folder);

// Removes the folders `file` lies in, innermost first, up to but not
// including `top`, stopping at the first that is not empty. Nothing for a
// file that is not below `top` or whose path climbs with "." or "..".
void RemoveEmptiedFolders(const wchar_t* file, const wchar_t* top);
