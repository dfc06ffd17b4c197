#include "ui/pages/UninstallRun.h"

#include "res/TextIds.h"

namespace {

const unsigned UNINSTALL_ROWS[CUninstallEngine::ROW_COUNT] = {IDS_STEP_PREPARE_UNINSTALL, IDS_STEP_REMOVE_GROUP,
                                                              IDS_STEP_REMOVE_FILES};

} // namespace

CUninstallRun::CUninstallRun(const InstallPackage& package, const uint8_t* deletePersonalData)
    : CProgressRun(UNINSTALL_ROWS, CUninstallEngine::ROW_COUNT, IDS_UNINSTALL_DONE),
      m_pDeletePersonalData(deletePersonalData), m_engine(package, *this)
{
}

LRESULT CUninstallRun::StartWorker()
{
    if (!HasWorker())
        m_engine.SetDeletePersonalData(m_pDeletePersonalData && *m_pDeletePersonalData);
    return CProgressRun::StartWorker();
}

LRESULT CUninstallRun::OnWizardFinish()
{
    m_engine.FinishUninstall();
    return 0;
}
