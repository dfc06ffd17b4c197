// The uninstaller's removal of itself: a batch file, started hidden at
// Finish, that waits for the uninstaller to end (running the same file again
// as "/processwait:<id>"), deletes it and, as the uninstallation decided, the
// installation folder, then itself and its own folder.
//
// cmd reads a batch file line by line while it runs, opening it by its path
// each time, and it runs with the uninstaller's rights: the batch lies in a
// folder of its own, made anew with an access list only administrators may
// write, in a place where no one else may rename that folder or one above it
// (who could, could put another batch at the same path), and cmd is started
// by its full path without AutoRun commands, not through the user's file
// types.
#pragma once

#include <windows.h>

#include <cstddef>

class CStr;

// Whether anyone but the administrators could rename or delete a path or a
// folder above it (IsPathMovableByNonAdmins).
using MovableCheck = bool (*)(const wchar_t* path, CStr* where);

// What the self-removal takes from the system, given apart so that tests can
// stand in for it.
struct TSelfRemovalSystem {
    const wchar_t* const* bases; // places for the batch's folder, most preferred first
    unsigned baseCount;
    MovableCheck isMovable;      // judges each place before it is used
    UINT codePage;               // the one cmd reads the batch in
};

// What becomes of the installation folder once the uninstaller is gone.
enum class FolderRemoval {
    Keep,
    IfEmpty, // only an empty folder: what others put there stays
    Whole,   // with everything in it: only a folder the installation made
};

// The places for the batch's folder, in that order: "<Windows>\Temp", where
// users may add entries but not rename an administrator's, and the common
// application data folder. Never %TEMP%: under Admin Approval Mode it is the
// same user's without administrator rights. A place not found is left empty.
void GetSelfRemovalBases(CStr& windowsTemp, CStr& commonData);

// Makes a new folder "<base>\kx2uninstall-<seed>-<n>" that only
// administrators may write, n counting up past names that exist already (a
// file or folder there is never used); its path into `folder`.
bool CreateSelfRemovalFolder(const wchar_t* base, DWORD seed, CStr& folder);

// The same in the first of the system's bases that its check finds no one
// else could move; false, with no folder made, when there is none.
bool CreateSafeSelfRemovalFolder(const TSelfRemovalSystem& system, DWORD seed, CStr& folder);

// `"<system folder>\cmd.exe" /D /V:OFF /C ""<batch>""`: no AutoRun, no
// delayed expansion whatever the registry makes cmd's default (a "!" in a
// path would be taken out or expand a variable), and the outer quotes are
// the ones cmd strips whatever the path holds.
bool BuildSelfRemovalCommand(const wchar_t* batchPath, CStr& cmdPath, CStr& commandLine);

// Whether the folder may be removed with everything in it: an absolute
// path at least one level below a drive root or share, the folder the
// uninstaller lies in (`setupFolder`), and neither one of the system's
// well-known folders nor a parent of one.
bool MayRemoveInstallFolder(const wchar_t* folder, const wchar_t* setupFolder);

// The batch text in `codePage` (cmd reads batch files in the OEM code
// page), lines ended by CR LF. Every "%" of a path is doubled; a line whose
// path does not survive the narrowing is left out, and so is the removal of
// a folder that may not be removed. The last line deletes the batch and
// removes the folder it lies in. Returns the text's length; 0 when it does
// not fit, or when the uninstaller's path does not survive: the batch would
// then remove nothing but itself.
size_t BuildSelfRemovalBatch(const wchar_t* uninstallerPath, DWORD processId, const wchar_t* batchPath,
                             const wchar_t* installFolder, FolderRemoval removal, const wchar_t* setupFolder,
                             UINT codePage, char* out, size_t outBytes);

// Writes the batch into a new folder and starts it hidden; true when it was
// written completely and started. Nothing is shown either way. Where no
// place is safe, nothing is started: the uninstaller and its folder stay.
bool StartSelfRemoval(const wchar_t* uninstallerPath, DWORD processId, const wchar_t* installFolder,
                      FolderRemoval removal);
// The same with the system given.
bool StartSelfRemoval(const TSelfRemovalSystem& system, const wchar_t* uninstallerPath, DWORD processId,
                      const wchar_t* installFolder, FolderRemoval removal);
