// The uninstall progress page's run: the uninstallation engine on its
// thread (it cannot be cancelled), and the self-removal at Finish.
#pragma once

#include <cstdint>

#include "uninstall/UninstallEngine.h"
#include "ui/pages/ProgressRun.h"

class CUninstallRun : public CProgressRun {
public:
    // `deletePersonalData` is the sheet's flag, set by the welcome page; it
    // is read when the worker starts.
    CUninstallRun(const InstallPackage& package, const uint8_t* deletePersonalData);

    // The worker uses the engine: it ends before the engine goes.
    ~CUninstallRun() override { StopWorker(); }

    LRESULT StartWorker();
    // The PSN_WIZFINISH answer: starts the self-removal once the files went.
    LRESULT OnWizardFinish();

    CUninstallEngine& Engine() { return m_engine; }

protected:
    void RunEngine() override { m_engine.RunUninstall(); }
    // An uninstallation is not stopped; the page waits for its end.
    void CancelEngine() override {}
    bool MayCancelWhileRunning() const override { return false; }

private:
    const uint8_t* m_pDeletePersonalData;
    CUninstallEngine m_engine;
};
