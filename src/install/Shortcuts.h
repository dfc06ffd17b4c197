// Shell links: the Start-menu program group and its shortcuts, and the
// desktop shortcut. Written through the shell's link object; COM must be
// initialised on the calling thread.
#pragma once

#include <cstddef>

// The group's folder below the (common, else the user's) Programs folder,
// created when missing; its path into `out` (260 characters). False for a
// name that would leave the Programs folder.
bool CreateProgramGroupFolder(const wchar_t* groupName, wchar_t* out);

// A shortcut file. A negative icon index takes the icon of the target's
// file type. True once the link object exists; how saving went is not known.
bool CreateShortcut(const wchar_t* workingFolder, const wchar_t* target, const wchar_t* shortcutPath,
                    const wchar_t* description, const wchar_t* arguments, const wchar_t* iconFile,
                    int iconIndex);

// "<desktop>\<product name>.lnk" to `target`; its path into `out`.
bool CreateDesktopLink(const wchar_t* target, wchar_t* out, size_t outChars);
