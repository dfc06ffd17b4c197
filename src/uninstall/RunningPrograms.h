// Whether a program of the installation runs: the executables of the
// uninstall list against the image files of all running processes. The
// uninstall welcome page asks before it lets the user go on.
#pragma once

#include <windows.h>

#include "base/SystemLibrary.h"

class InstallPackage;

class CRunningPrograms {
public:
    CRunningPrograms() = default;
    CRunningPrograms(const CRunningPrograms&) = delete;
    CRunningPrograms& operator=(const CRunningPrograms&) = delete;

    // psapi's GetProcessImageFileNameW, by its System32 path.
    bool LoadPsapi();
    // Whether an executable of the package's uninstall list (other than
    // this program) is the image of a running process. False without a
    // list or without psapi.
    bool FindRunningInstance(const InstallPackage& package);
    // Whether the image file name of a running process (in device form)
    // contains `path` (a path without its drive), ignoring case.
    bool IsImageRunning(const wchar_t* path);

private:
    using GetProcessImageFileNameWFn = DWORD(WINAPI*)(HANDLE process, LPWSTR name, DWORD size);

    CSystemLibrary m_psapi;
    GetProcessImageFileNameWFn m_pGetProcessImageFileName = nullptr;
};
