#include "ui/pages/InstallRun.h"

#include "res/TextIds.h"
#include "state/State.h"

namespace {

const unsigned INSTALL_ROWS[CInstallEngine::ROW_COUNT] = {IDS_STEP_CREATE_DIRECTORIES, IDS_STEP_CREATE_GROUP,
                                                          IDS_STEP_EXTRACT_FILES, IDS_STEP_CONFIGURING};

} // namespace

CInstallRun::CInstallRun(const InstallPackage& package, const TInstallSettings* settings)
    : CProgressRun(INSTALL_ROWS, CInstallEngine::ROW_COUNT, IDS_INSTALL_DONE), m_pSettings(settings),
      m_engine(package, *this)
{
}

LRESULT CInstallRun::StartWorker()
{
    if (!HasWorker() && m_pSettings)
        m_engine.SetSettings(*m_pSettings);
    return CProgressRun::StartWorker();
}

LRESULT CInstallRun::OnQueryCancel()
{
    if (m_bCancel)
        return -1; // the user must leave through Finish
    if (m_bFinished || m_bEnded)
        return 0;
    wchar_t text[256];
    Texts.LoadText(IDS_CONFIRM_CANCEL, text, 256);
    if (MessageBoxW(GetActiveWindow(), text, ProgramName, MB_YESNO | MB_ICONQUESTION) != IDNO) {
        m_bFailed = true;
        StopWorker();
    }
    return -1;
}

LRESULT CInstallRun::OnWizardFinish()
{
    if (m_bFailed || !m_bFinished)
        m_engine.RollBack();
    else if (m_engine.GetSettings().launchAfterInstall)
        m_engine.LaunchProgram();
    return 0;
}
