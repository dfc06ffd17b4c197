// The check that no program of the installation runs before it is removed:
// a small modal dialog ("Checking apllication existing instance...") that
// compares the executables of the uninstall list with the image files of all
// running processes.
#pragma once

#include <windows.h>

#include "base/SystemLibrary.h"

// Posted to itself once the dialog has appeared.
const UINT WM_START_CHECK = WM_USER + 3;

class CCheckInstanceDlg {
public:
    enum : INT_PTR { RESULT_NONE_RUNNING = 1, RESULT_RUNNING = 2 };

    INT_PTR DoModal(HWND owner);

    // psapi's GetProcessImageFileNameW, by its System32 path.
    bool LoadPsapi();
    // Whether an executable of the uninstall list (other than this program)
    // is the image of a running process.
    bool FindRunningInstance();
    // Whether the image file name of a running process (in device form)
    // contains `path` (a path without its drive), ignoring case.
    bool IsImageRunning(const wchar_t* path);

private:
    using GetProcessImageFileNameWFn = DWORD(WINAPI*)(HANDLE process, LPWSTR name, DWORD size);

    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    CSystemLibrary m_psapi;
    GetProcessImageFileNameWFn m_pGetProcessImageFileName = nullptr;
};
