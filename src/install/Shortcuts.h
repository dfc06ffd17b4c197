// Shell links: the Start-menu program group and its shortcuts, and the
// desktop shortcut. Written through the shell's link object; COM must be
// initialised on the calling thread.
#pragma once

#include <cstddef>

// A shortcut file. A negative icon index takes the icon of the target's
// file type. True only when the link was saved; GetLastError tells why not.
bool CreateShortcut(const wchar_t* workingFolder, const wchar_t* target, const wchar_t* shortcutPath,
                    const wchar_t* description, const wchar_t* arguments, const wchar_t* iconFile,
                    int iconIndex);

// "<desktop>\<product name>.lnk" to `target`, started in `workingFolder`;
// its path into `out`. A path that does not fit `out` (or 260 characters)
// is refused, never cut: ERROR_FILENAME_EXCED_RANGE, no link.
bool CreateDesktopLink(const wchar_t* target, const wchar_t* workingFolder, wchar_t* out, size_t outChars);
