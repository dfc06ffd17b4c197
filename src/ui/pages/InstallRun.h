// The install progress page's run: the installation engine on its thread,
// the cancel prompt, and what Finish does (roll a failed or cancelled run
// back, or launch the installed program).
#pragma once

#include "install/InstallEngine.h"
#include "ui/pages/ProgressRun.h"

class CInstallRun : public CProgressRun {
public:
    // `settings` is the settings page's value; it is read when the worker
    // starts.
    CInstallRun(const InstallPackage& package, const TInstallSettings* settings);

    // The worker uses the engine: it ends before the engine goes.
    ~CInstallRun() override { StopWorker(); }

    LRESULT StartWorker();
    // The PSN_QUERYCANCEL answer: non-zero keeps the wizard open.
    LRESULT OnQueryCancel();
    // The PSN_WIZFINISH answer (0: the wizard closes).
    LRESULT OnWizardFinish();

    CInstallEngine& Engine() { return m_engine; }

protected:
    void RunEngine() override { m_engine.RunInstall(); }
    void CancelEngine() override { m_engine.RequestCancel(); }
    bool MayCancelWhileRunning() const override { return true; }

private:
    const TInstallSettings* m_pSettings;
    CInstallEngine m_engine;
};
