#include "uninstall/SelfRemoval.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>

#include "state/State.h"
#include "base/BinFile.h"
#include "base/FileSystem.h"
#include "base/Handle.h"
#include "base/SystemLibrary.h"
#include "base/ProtectedFolder.h"
#include "base/Str.h"
#include "base/WritableFolder.h"

namespace {

// Six paths, of up to three bytes a character in UTF-8.
const size_t BATCH_BYTES = 8192;
// Names tried for the batch's folder before giving up.
const unsigned FOLDER_ATTEMPTS = 100;

// Whether WideCharToMultiByte takes WC_NO_BEST_FIT_CHARS and the used-default
// flag for the code page: UTF-8, UTF-7, GB18030, the ISO-2022 ones, HZ,
// ISCII and Symbol refuse them, and fail the call.
bool TakesBestFitFlags(UINT codePage)
{
    return codePage != CP_UTF8 && codePage != CP_UTF7 && codePage != 54936 && codePage != 52936 && codePage != 42 &&
           !(codePage >= 50220 && codePage <= 50229) && !(codePage >= 57002 && codePage <= 57011);
}

// A path as cmd must see it inside a batch file: "%" doubled (cmd expands
// it), narrowed to the code page. False when a character does not survive
// the narrowing unchanged.
bool BatchPath(const wchar_t* path, UINT codePage, char* out, int outBytes)
{
    if (!path || !*path)
        return false;
    wchar_t doubled[2 * MAX_PATH + 2];
    size_t length = 0;
    for (const wchar_t* p = path; *p; ++p) {
        if (length + 2 >= sizeof(doubled) / sizeof(doubled[0]))
            return false;
        if (*p == L'%')
            doubled[length++] = L'%';
        doubled[length++] = *p;
    }
    doubled[length] = 0;
    // Without the flags the round trip below still finds any character
    // replaced or fitted.
    bool flags = TakesBestFitFlags(codePage);
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(codePage, flags ? WC_NO_BEST_FIT_CHARS : 0, doubled, -1, out, outBytes, nullptr,
                                    flags ? &usedDefault : nullptr);
    if (bytes <= 0 || usedDefault)
        return false;
    wchar_t back[2 * MAX_PATH + 2];
    int chars = MultiByteToWideChar(codePage, 0, out, -1, back, sizeof(back) / sizeof(back[0]));
    return chars > 0 && wcscmp(back, doubled) == 0;
}

// Appends formatted text; false when it does not fit.
bool Append(char* out, size_t outBytes, size_t& length, const char* format, const char* text, DWORD number = 0)
{
    int written = _snprintf(out + length, outBytes - length, format, text, static_cast<unsigned long>(number));
    if (written < 0 || static_cast<size_t>(written) >= outBytes - length)
        return false;
    length += static_cast<size_t>(written);
    return true;
}

// "X:\name..." or "\\server\share\name...": the root and the rest.
bool SplitRoot(const wchar_t* path, const wchar_t** rest)
{
    if (iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\') {
        *rest = path + 3;
        return true;
    }
    if (path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.') {
        const wchar_t* server = path + 2;
        const wchar_t* share = wcschr(server, L'\\');
        if (!share || share == server)
            return false;
        const wchar_t* name = wcschr(share + 1, L'\\');
        if (!name || name == share + 1)
            return false;
        *rest = name + 1;
        return true;
    }
    return false;
}

// The long form of a path, for comparing it with the system's folders.
void LongForm(const wchar_t* path, CStr& out)
{
    TStrStatic<MAX_PATH> buffer;
    DWORD length = GetLongPathNameW(path, buffer.GetBuffer(), buffer.GetCapacity());
    out.Assign(length > 0 && length < buffer.GetCapacity() ? buffer.GetBuffer() : path);
    while (out.GetLength() > 3 && out.GetAt(out.GetLength() - 1) == L'\\')
        out.Truncate(out.GetLength() - 1);
}

// The folder equals `known` or lies above it.
bool CoversFolder(const CStr& folder, const wchar_t* known)
{
    if (!known || !*known)
        return false;
    TStrStatic<MAX_PATH> knownLong;
    LongForm(known, knownLong);
    unsigned length = folder.GetLength();
    return _wcsnicmp(knownLong, folder, length) == 0 &&
           (knownLong.GetAt(length) == 0 || knownLong.GetAt(length) == L'\\');
}

bool IsWellKnownOrAbove(const CStr& folder)
{
    static const int FOLDERS[] = {
        CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
        CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA, CSIDL_PROFILE,
        CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS,
        CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU,
        CSIDL_COMMON_STARTMENU,
    };
    wchar_t path[MAX_PATH];
    for (int csidl : FOLDERS)
        if (SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) && CoversFolder(folder, path))
            return true;
    // The users' folder: the one that holds the profile.
    if (SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROFILE, FALSE)) {
        wchar_t* slash = wcsrchr(path, L'\\');
        if (slash && slash > path + 2) {
            *slash = 0;
            if (CoversFolder(folder, path))
                return true;
        }
    }
    // A 32-bit program on 64-bit Windows is shown the x86 folders only.
    for (const wchar_t* variable : {L"ProgramW6432", L"CommonProgramW6432", L"ProgramFiles", L"SystemRoot"}) {
        DWORD length = GetEnvironmentVariableW(variable, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH && CoversFolder(folder, path))
            return true;
    }
    DWORD length = GetTempPathW(MAX_PATH, path);
    return length > 0 && length < MAX_PATH && CoversFolder(folder, path);
}

} // namespace

void GetSelfRemovalBases(CStr& windowsTemp, CStr& commonData)
{
    // The shared one: GetWindowsDirectory may give a user's own on a
    // terminal server.
    wchar_t windows[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || windowsTemp.Format(L"%s\\Temp", windows) <= 0)
        windowsTemp.Assign(L"");
    if (!SHGetSpecialFolderPathW(nullptr, commonData.GetBuffer(), CSIDL_COMMON_APPDATA, FALSE))
        commonData.GetBuffer()[0] = 0;
    commonData.UpdateLength();
}

bool CreateSelfRemovalFolder(const wchar_t* base, DWORD seed, CStr& folder)
{
    for (unsigned n = 0; n < FOLDER_ATTEMPTS; ++n) {
        if (folder.Format(L"%s\\kx2uninstall-%08lX-%u", base, static_cast<unsigned long>(seed), n) <= 0) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        // Fails on anything of that name, so nothing placed there before is used.
        if (CreateProtectedFolder(folder, FolderAccess::AdminsOnly))
            return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    folder.Assign(L"");
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
}

bool CreateSafeSelfRemovalFolder(const TSelfRemovalSystem& system, DWORD seed, CStr& folder)
{
    // The folder is new and its own access list is protected: what remains
    // is whether its place, or a folder above, could be renamed.
    for (unsigned i = 0; i < system.baseCount; ++i)
        if (system.bases[i] && *system.bases[i] && system.isMovable && !system.isMovable(system.bases[i], nullptr) &&
            CreateSelfRemovalFolder(system.bases[i], seed, folder))
            return true;
    folder.Assign(L"");
    return false;
}

bool BuildSelfRemovalCommand(const wchar_t* batchPath, CStr& cmdPath, CStr& commandLine)
{
    // By its full path: a search would look in the current folder first.
    return GetSystemFilePath(L"cmd.exe", cmdPath) &&
           commandLine.Format(L"\"%s\" /D /V:OFF /C \"\"%s\"\"", cmdPath.GetString(), batchPath) > 0;
}

bool MayRemoveInstallFolder(const wchar_t* folder, const wchar_t* setupFolder)
{
    const wchar_t* rest = nullptr;
    if (!folder || !setupFolder || !SplitRoot(folder, &rest) || !IsRelativeInside(rest) ||
        rest[wcslen(rest) - 1] == L'\\' || _wcsicmp(folder, setupFolder) != 0)
        return false;
    TStrStatic<MAX_PATH> longForm;
    LongForm(folder, longForm);
    return !IsWellKnownOrAbove(longForm);
}

size_t BuildSelfRemovalBatch(const wchar_t* uninstallerPath, DWORD processId, const wchar_t* batchPath,
                             const wchar_t* installFolder, FolderRemoval removal, const wchar_t* setupFolder,
                             UINT codePage, char* out, size_t outBytes)
{
    if (!out || outBytes == 0)
        return 0;
    out[0] = 0;
    char uninstaller[3 * MAX_PATH], batch[3 * MAX_PATH], folder[3 * MAX_PATH], batchFolder[3 * MAX_PATH];
    if (!BatchPath(uninstallerPath, codePage, uninstaller, sizeof(uninstaller)))
        return 0;
    bool haveBatch = BatchPath(batchPath, codePage, batch, sizeof(batch));
    // The batch's own folder: everything before its last backslash.
    TStrStatic<MAX_PATH> ownFolder(batchPath);
    int slash = ownFolder.ReverseFind(L'\\');
    ownFolder.Truncate(slash > 2 ? static_cast<unsigned>(slash) : 0);
    bool haveBatchFolder = haveBatch && BatchPath(ownFolder, codePage, batchFolder, sizeof(batchFolder));
    // Only a folder that may go.
    bool haveFolder = removal != FolderRemoval::Keep && MayRemoveInstallFolder(installFolder, setupFolder) &&
                      BatchPath(installFolder, codePage, folder, sizeof(folder));

    size_t length = 0;
    bool ok = Append(out, outBytes, length, "%s", "cd\\\r\n") &&
              Append(out, outBytes, length, "\"%s\" /processwait:%lu\r\n", uninstaller, processId) &&
              Append(out, outBytes, length, "del /Q \"%s\"\r\n", uninstaller);
    if (haveFolder)
        ok = ok && Append(out, outBytes, length,
                          removal == FolderRemoval::Whole ? "rd /S /Q \"%s\"\r\n" : "rd /Q \"%s\"\r\n", folder);
    // One line: cmd has read it whole before the batch is gone.
    if (haveBatchFolder)
        ok = ok && Append(out, outBytes, length, "del /Q \"%s\"", batch) &&
             Append(out, outBytes, length, " & rd /Q \"%s\"\r\n", batchFolder);
    else if (haveBatch)
        ok = ok && Append(out, outBytes, length, "del /Q \"%s\"\r\n", batch);
    return ok ? length : 0;
}

bool StartSelfRemoval(const wchar_t* uninstallerPath, DWORD processId, const wchar_t* installFolder,
                      FolderRemoval removal)
{
    TStrStatic<MAX_PATH> windowsTemp, commonData;
    GetSelfRemovalBases(windowsTemp, commonData);
    const wchar_t* bases[] = {windowsTemp, commonData};
    TSelfRemovalSystem system = {bases, 2, IsPathMovableByNonAdmins, GetOEMCP()};
    return StartSelfRemoval(system, uninstallerPath, processId, installFolder, removal);
}

bool StartSelfRemoval(const TSelfRemovalSystem& system, const wchar_t* uninstallerPath, DWORD processId,
                      const wchar_t* installFolder, FolderRemoval removal)
{
    TStrStatic<MAX_PATH> folder, batchPath;
    // Without a safe place the uninstaller stays. Not deleted at the restart
    // either: an installation made again before it would lose its own.
    if (!CreateSafeSelfRemovalFolder(system, GetTickCount() ^ (processId << 16) ^ processId, folder))
        return false;
    char text[BATCH_BYTES];
    size_t length = 0;
    CBinFile file;
    TStrStatic<MAX_PATH> cmdPath;
    TStrStatic<3 * MAX_PATH> commandLine;
    if (batchPath.Format(L"%s\\uninstall.bat", folder.GetString()) <= 0 ||
        !(length = BuildSelfRemovalBatch(uninstallerPath, processId, batchPath, installFolder, removal, SetupFolder,
                                         system.codePage, text, sizeof(text))) ||
        !BuildSelfRemovalCommand(batchPath, cmdPath, commandLine) ||
        !file.Open(batchPath, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL) ||
        file.Write(text, static_cast<unsigned>(length)) != length) {
        file.Close();
        DeleteFileW(batchPath);
        RemoveDirectoryW(folder);
        return false;
    }
    file.Close();

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(cmdPath, commandLine.GetBuffer(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        DeleteFileW(batchPath);
        RemoveDirectoryW(folder);
        return false;
    }
    // The batch outlives this process: it is neither waited for nor kept.
    CHandle thread(process.hThread), child(process.hProcess);
    // Where cmd keeps the batch file open to its end (Wine's does), the last
    // line cannot remove the folder; the restart does then.
    MoveFileExW(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return true;
}
