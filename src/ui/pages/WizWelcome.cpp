#include "ui/pages/WizWelcome.h"

#include "ui/Environment.h"
#include "state/State.h"
#include "res/ResourceIds.h"
#include "res/TextIds.h"
#include "ui/ConfirmCancel.h"
#include "ui/WindowHelpers.h"

namespace {

// Windows XP is 501; older versions are refused.
const int OLDEST_REFUSED_VERSION = 500;
const int SIMD_SSE2 = 2;

} // namespace

CWizWelcome::CWizWelcome(const wchar_t* title) : CPropertyPage(IDD_WELCOME, title)
{
}

BOOL CWizWelcome::OnInitDialog()
{
    CenterWindow(GetSheet());
    m_intro.Attach(GetItem(IDC_INTRO));
    FormatControlText(m_intro.GetHwnd(), ProgramName, 512);
    Texts.LocalizeDialog(m_hWnd, IDD_WELCOME);
    return TRUE;
}

LRESULT CWizWelcome::OnSetActive()
{
    SetWizardButtons(0);
    m_bEnvFailed = GetWindowsVersion() <= OLDEST_REFUSED_VERSION;
    if (m_bEnvFailed) {
        PostMessageW(m_hWnd, WM_ENV_OS_TOO_OLD, 0, 0);
        return 0;
    }
    m_bEnvFailed = GetSimdLevel() < SIMD_SSE2;
    if (m_bEnvFailed) {
        PostMessageW(m_hWnd, WM_ENV_SSE2_MISSING, 0, 0);
        return 0;
    }
    SetWizardButtons(PSWIZB_NEXT);
    return 0;
}

LRESULT CWizWelcome::OnWizardNext()
{
    return IDD_LICENSE;
}

LRESULT CWizWelcome::OnQueryCancel()
{
    // After a failed check the wizard closes without asking.
    return m_bEnvFailed ? 0 : ConfirmCancel();
}

bool CWizWelcome::OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result)
{
    if (message != WM_ENV_OS_TOO_OLD && message != WM_ENV_SSE2_MISSING)
        return false;
    ShowTextBox(m_hWnd, message == WM_ENV_OS_TOO_OLD ? IDS_NEED_WINDOWS_XP : IDS_NO_SSE2, MB_ICONWARNING);
    PostMessageW(GetSheet(), WM_CLOSE, 0, 0);
    result = 0;
    return true;
}
