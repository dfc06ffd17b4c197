#include "ui/pages/WizUnInstall.h"

#include "app/Globals.h"
#include "res/ResourceIds.h"
#include "res/TextIds.h"

namespace {

const unsigned UNINSTALL_ROWS[] = {IDS_STEP_PREPARE_UNINSTALL, IDS_STEP_REMOVE_GROUP, IDS_STEP_REMOVE_FILES};

} // namespace

CWizUnInstall::CWizUnInstall(const wchar_t* title, const uint8_t* deletePersonalData)
    : CPropertyPage(IDD_UNINSTALL_PROGRESS, title), CUninstallWorker(deletePersonalData)
{
}

BOOL CWizUnInstall::OnInitDialog()
{
    m_parts.Init(m_hWnd, UNINSTALL_ROWS, sizeof(UNINSTALL_ROWS) / sizeof(UNINSTALL_ROWS[0]), *this);
    Texts.LocalizeDialog(m_hWnd, IDD_UNINSTALL_PROGRESS);
    return TRUE;
}

void CWizUnInstall::OnDestroy()
{
    StopWorker();
    PostQuitMessage(0);
}

bool CWizUnInstall::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message != WM_SETUP_STEP)
        return false;
    result = m_parts.OnSetupStep(wParam, lParam, *this);
    return true;
}
