#include "ui/pages/WizInstall.h"

#include "app/Globals.h"
#include "res/ResourceIds.h"
#include "res/TextIds.h"

namespace {

const unsigned INSTALL_ROWS[] = {IDS_STEP_CREATE_DIRECTORIES, IDS_STEP_CREATE_GROUP, IDS_STEP_EXTRACT_FILES,
                                 IDS_STEP_CONFIGURING};

} // namespace

CWizInstall::CWizInstall(const wchar_t* title) : CPropertyPage(IDD_INSTALL_PROGRESS, title)
{
}

BOOL CWizInstall::OnInitDialog()
{
    m_parts.Init(m_hWnd, INSTALL_ROWS, sizeof(INSTALL_ROWS) / sizeof(INSTALL_ROWS[0]), *this);
    Texts.LocalizeDialog(m_hWnd, IDD_INSTALL_PROGRESS);
    return TRUE;
}

void CWizInstall::OnDestroy()
{
    StopWorker();
    PostQuitMessage(0);
}

bool CWizInstall::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message != WM_SETUP_STEP)
        return false;
    result = m_parts.OnSetupStep(wParam, lParam, *this);
    return true;
}
