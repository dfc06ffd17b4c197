#include "ui/pages/WizInstall.h"

#include "res/ResourceIds.h"
#include "state/State.h"

CWizInstall::CWizInstall(const wchar_t* title, const TInstallSettings* settings)
    : CPropertyPage(IDD_INSTALL_PROGRESS, title), m_run(Package, settings)
{
}

BOOL CWizInstall::OnInitDialog()
{
    m_run.Init(m_hWnd);
    Texts.LocalizeDialog(m_hWnd, IDD_INSTALL_PROGRESS);
    return TRUE;
}

void CWizInstall::OnDestroy()
{
    m_run.StopWorker();
    PostQuitMessage(0);
}
