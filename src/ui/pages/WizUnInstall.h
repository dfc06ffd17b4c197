// The uninstall progress page: runs the uninstallation and, at Finish,
// starts the self-removal (CUninstallRun).
#pragma once

#include <cstdint>

#include "ui/PropertyPage.h"
#include "ui/pages/UninstallRun.h"

class CWizUnInstall : public CPropertyPage {
public:
    CWizUnInstall(const wchar_t* title, const uint8_t* deletePersonalData);

protected:
    BOOL OnInitDialog() override;
    LRESULT OnSetActive() override { return m_run.StartWorker(); }
    // The Cancel button is disabled; a close request is allowed.
    LRESULT OnQueryCancel() override { return 0; }
    LRESULT OnWizardFinish() override { return m_run.OnWizardFinish(); }
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        return m_run.OnMessage(message, wParam, lParam, result);
    }

private:
    CUninstallRun m_run;
};
