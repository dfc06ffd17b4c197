// The check that no program of the installation runs before it is removed:
// a small modal dialog ("Checking apllication existing instance...") shown
// while the uninstaller compares the executables of its list with the
// running processes (CRunningPrograms).
#pragma once

#include <windows.h>

#include "uninstall/RunningPrograms.h"

// Posted to itself once the dialog has appeared.
const UINT WM_START_CHECK = WM_USER + 3;

class CCheckInstanceDlg {
public:
    enum : INT_PTR { RESULT_NONE_RUNNING = 1, RESULT_RUNNING = 2 };

    INT_PTR DoModal(HWND owner);

    CRunningPrograms& Programs() { return m_programs; }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    CRunningPrograms m_programs;
};
