#include "ui/pages/WizUnWelcome.h"

#include "ui/CheckInstanceDlg.h"
#include "state/State.h"
#include "res/ResourceIds.h"
#include "res/TextIds.h"
#include "ui/ConfirmCancel.h"
#include "ui/WindowHelpers.h"

CWizUnWelcome::CWizUnWelcome(const wchar_t* title, uint8_t* deletePersonalData)
    : CPropertyPage(IDD_UNINSTALL_WELCOME, title), m_pDeletePersonalData(deletePersonalData)
{
}

BOOL CWizUnWelcome::OnInitDialog()
{
    CenterWindow(GetSheet());
    m_welcome.Attach(GetItem(IDC_INTRO));
    m_removal.Attach(GetItem(IDC_INTRO_SECOND));
    m_folder.Attach(GetItem(IDC_UNINSTALL_FOLDER));
    m_deleteData.Attach(GetItem(IDC_DELETE_DATA));
    FormatControlText(m_welcome.GetHwnd(), ProgramName, 512);
    FormatControlText(m_removal.GetHwnd(), ProgramName, 512);
    SetWindowTextW(m_folder.GetHwnd(), SetupFolder);
    m_deleteData.SetCheck(false);
    Texts.LocalizeDialog(m_hWnd, IDD_UNINSTALL_WELCOME);
    return TRUE;
}

LRESULT CWizUnWelcome::OnSetActive()
{
    SetWizardButtons(PSWIZB_NEXT);
    return 0;
}

LRESULT CWizUnWelcome::OnWizardNext()
{
    CCheckInstanceDlg check;
    if (check.DoModal(GetActiveWindow()) == CCheckInstanceDlg::RESULT_NONE_RUNNING) {
        if (m_pDeletePersonalData)
            *m_pDeletePersonalData = m_deleteData.Send(BM_GETCHECK) > 0 ? 1 : 0;
        return IDD_UNINSTALL_PROGRESS;
    }
    wchar_t format[256];
    Texts.LoadText(IDS_CLOSE_PROGRAM, format, 256);
    TStrStatic<1040> text;
    text.Format(format, ProgramName.GetString(), ProgramName.GetString());
    MessageBoxW(m_hWnd, text, ProgramName, MB_ICONINFORMATION);
    return IDD_UNINSTALL_WELCOME;
}

LRESULT CWizUnWelcome::OnQueryCancel()
{
    return ConfirmCancel();
}

LRESULT CWizUnWelcome::OnQueryInitialFocus()
{
    return reinterpret_cast<LRESULT>(m_deleteData.GetHwnd());
}
