#include "ui/pages/WizUnInstall.h"

#include "res/ResourceIds.h"
#include "state/State.h"

CWizUnInstall::CWizUnInstall(const wchar_t* title, const uint8_t* deletePersonalData)
    : CPropertyPage(IDD_UNINSTALL_PROGRESS, title), m_run(Package, deletePersonalData)
{
}

BOOL CWizUnInstall::OnInitDialog()
{
    m_run.Init(m_hWnd);
    Texts.LocalizeDialog(m_hWnd, IDD_UNINSTALL_PROGRESS);
    return TRUE;
}

void CWizUnInstall::OnDestroy()
{
    m_run.StopWorker();
    PostQuitMessage(0);
}
