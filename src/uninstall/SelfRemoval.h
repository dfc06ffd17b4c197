// The uninstaller's removal of itself: a batch file, started hidden at
// Finish, that waits for the uninstaller to end (running the same file again
// as "/processwait:<id>"), deletes it and, as the uninstallation decided, the
// installation folder, then itself and its own folder.
//
// cmd reads a batch file line by line while it runs, and it runs with the
// uninstaller's rights: the batch lies in a folder of its own, made anew with
// an access list only administrators may write, and cmd is started by its
// full path without AutoRun commands, not through the user's file types.
#pragma once

#include <windows.h>

#include <cstddef>

class CStr;

// What becomes of the installation folder once the uninstaller is gone.
enum class FolderRemoval {
    Keep,
    IfEmpty, // only an empty folder: what others put there stays
    Whole,   // with everything in it: only a folder the installation made
};

// Where the batch's folder goes: %TEMP%, else %TMP%, else the uninstaller's
// folder.
bool GetSelfRemovalBase(const wchar_t* uninstallerPath, CStr& base);

// Makes a new folder "<base>\kx2uninstall-<seed>-<n>" that only
// administrators may write, n counting up past names that exist already (a
// file or folder there is never used); its path into `folder`.
bool CreateSelfRemovalFolder(const wchar_t* base, DWORD seed, CStr& folder);

// `"<system folder>\cmd.exe" /D /C ""<batch>""`: no AutoRun, and the outer
// quotes are the ones cmd strips whatever the path holds.
bool BuildSelfRemovalCommand(const wchar_t* batchPath, CStr& cmdPath, CStr& commandLine);

// Whether the folder may be removed with everything in it: an absolute
// path at least one level below a drive root or share, the folder the
// uninstaller lies in (`setupFolder`), and neither one of the system's
// well-known folders nor a parent of one.
bool MayRemoveInstallFolder(const wchar_t* folder, const wchar_t* setupFolder);

// The batch text, in the OEM code page cmd reads batch files in, lines
// ended by CR LF. Every "%" of a path is doubled; a line whose path does not
// survive the narrowing is left out, and so is the folder removal unless the
// wait line stands and the folder may be removed. The last line deletes the
// batch and removes the folder it lies in. Returns the text's length, 0 when
// it does not fit.
size_t BuildSelfRemovalBatch(const wchar_t* uninstallerPath, DWORD processId, const wchar_t* batchPath,
                             const wchar_t* installFolder, FolderRemoval removal, const wchar_t* setupFolder,
                             char* out, size_t outBytes);

// Writes the batch into a new folder and starts it hidden; true when it was
// written completely and started. Nothing is shown either way.
bool StartSelfRemoval(const wchar_t* uninstallerPath, DWORD processId, const wchar_t* installFolder,
                      FolderRemoval removal);
