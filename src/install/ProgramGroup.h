// The program group's folder in the Start menu: where it lies, making it,
// and removing it again. Other products may share a group folder, and a
// group name may resolve to a folder that was there before (a trailing dot,
// a short name, "Startup"): only a folder this installation made is ever
// removed, and only once it is empty.
#pragma once

class CStr;

// The path of a special folder: the shared one, else the user's.
bool GetSpecialFolder(int common, int personal, CStr& path);

// The group's folder below the (common, else the user's) Programs folder.
// False (ERROR_BAD_PATHNAME) for a name that would leave the Programs folder
// or not fit.
bool GetProgramGroupFolder(const wchar_t* groupName, CStr& path);

// The group's folder, created when missing; its path into `out` (260
// characters). `*created` is true only when this call made the folder
// itself: not when it, or something of that name, was there already.
bool CreateProgramGroupFolder(const wchar_t* groupName, wchar_t* out, bool* created);

// Removes the folder when it is empty; never anything in it.
bool RemoveEmptyFolder(const wchar_t* folder);
