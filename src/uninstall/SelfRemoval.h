// The uninstaller's removal of itself: a batch file in the temporary folder,
// started hidden at Finish, that waits for the uninstaller to end (running
// the same file again as "/processwait:<id>"), deletes it and, when the user
// chose to delete personal data, the installation folder, then itself.
#pragma once

#include <windows.h>

#include <cstddef>

class CStr;

// %TEMP%, else %TMP%, else the uninstaller's folder, + "\kx2uninstall.bat".
bool GetSelfRemovalBatchPath(const wchar_t* uninstallerPath, CStr& batchPath);

// Whether the folder may be removed with everything in it: an absolute
// path at least one level below a drive root or share, the folder the
// uninstaller lies in (`setupFolder`), and neither one of the system's
// well-known folders nor a parent of one.
bool MayRemoveInstallFolder(const wchar_t* folder, const wchar_t* setupFolder);

// The batch text, in the OEM code page cmd reads batch files in, lines
// ended by CR LF. Every "%" of a path is doubled; a line whose path does not
// survive the narrowing is left out, and so is the folder removal unless the
// wait line stands and the folder may be removed. Returns the text's length,
// 0 when it does not fit.
size_t BuildSelfRemovalBatch(const wchar_t* uninstallerPath, DWORD processId, const wchar_t* batchPath,
                             const wchar_t* installFolder, bool removeFolder, const wchar_t* setupFolder,
                             char* out, size_t outBytes);

// Writes the batch and starts it hidden; true when it was written completely
// and started. Nothing is shown either way.
bool StartSelfRemoval(const wchar_t* uninstallerPath, DWORD processId, const wchar_t* installFolder,
                      bool removeFolder);
