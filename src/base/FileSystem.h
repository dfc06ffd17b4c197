// Folder and file helpers shared by extraction, installation and
// uninstallation. They hold no state; paths are at most 259 characters.
#pragma once

#include <windows.h>

class CPathList;

// Creates every missing folder of `path`, left to right. True when the
// folder exists afterwards (or `path` names something that exists). Each
// folder it made is added to `created` when given, parents first.
bool CreateFolderTree(const wchar_t* path, CPathList* created = nullptr);

// Creates `path` and its missing ancestors, from the parent upward when
// needed. A trailing backslash is not a split point.
bool EnsureFolder(const wchar_t* path);

// Deletes what `pattern` matches in `folder` (sub-folders too when
// `recurse`), then the folder itself when `removeFolder`. Returns the entries
// handled: every file counts, deleted or not; a folder counts when removed.
// With `setupFolder` (the setup program's folder), what cannot be deleted now
// goes at the next restart where MayDeleteAtRestart allows it.
unsigned DeleteFolderTree(const wchar_t* folder, const wchar_t* pattern, bool recurse, bool removeFolder,
                          const wchar_t* setupFolder = nullptr);

// The icon of a file's type: from the shell, else from the registry's
// DefaultIcon of its class. `iconFile` (256 characters) is empty and `index`
// -1 when there is none.
void GetIconLocation(const wchar_t* path, wchar_t* iconFile, int* index);

// The system's text for `code` into `out`; a fallback when it has none.
void FormatSystemError(DWORD code, wchar_t* out, unsigned outChars);

class CStr;
// Whether `relative` names something strictly inside the folder it is
// joined to: no drive or stream colon, no leading separator, no empty
// component (but a trailing separator), no component of dots and blanks only.
bool IsRelativeInside(const wchar_t* relative);
// `base` + "\" + `relative` into `out` when `relative` stays inside and the
// whole fits without being cut; false (and `out` empty) otherwise.
bool JoinPathInside(const wchar_t* base, const wchar_t* relative, CStr& out);

// Renames `path` to "<path>.<n>.<suffix>", n the first of 0 to 99 whose
// name is free, and gives that name in `moved`; a name found taken is never
// replaced. False, with the system's reason, when none could be used.
bool MoveToFreeName(const wchar_t* path, const wchar_t* suffix, CStr& moved);

// Whether a path that cannot be deleted now may be deleted at the next
// restart: only when it is shorter than the setup program's folder and not
// the beginning of it (so that folder and its ancestors never are).
bool MayDeleteAtRestart(const wchar_t* path, const wchar_t* setupFolder);
