#include "ui/CheckInstanceDlg.h"

#include "res/ResourceIds.h"
#include "state/State.h"
#include "ui/WindowHelpers.h"

INT_PTR CCheckInstanceDlg::DoModal(HWND owner)
{
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CHECK_INSTANCE), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CCheckInstanceDlg::DialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        CenterWindow(dialog);
        Texts.LocalizeDialog(dialog, IDD_CHECK_INSTANCE);
        reinterpret_cast<CCheckInstanceDlg*>(lParam)->m_programs.LoadPsapi();
        // The check runs once the dialog is on the screen.
        PostMessageW(dialog, WM_START_CHECK, 0, 0);
        return FALSE;
    }
    if (message == WM_START_CHECK) {
        auto* self = reinterpret_cast<CCheckInstanceDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
        bool running = self && self->m_programs.FindRunningInstance(Package);
        EndDialog(dialog, running ? RESULT_RUNNING : RESULT_NONE_RUNNING);
        return TRUE;
    }
    return FALSE;
}
