// The install progress page: runs the installation, shows its steps, asks
// before a cancel, and rolls back or launches at Finish (CInstallRun).
#pragma once

#include "ui/PropertyPage.h"
#include "ui/pages/InstallRun.h"

class CWizInstall : public CPropertyPage {
public:
    // `settings`: the settings page's choices, held by the sheet.
    CWizInstall(const wchar_t* title, const TInstallSettings* settings);

protected:
    BOOL OnInitDialog() override;
    LRESULT OnSetActive() override { return m_run.StartWorker(); }
    LRESULT OnQueryCancel() override { return m_run.OnQueryCancel(); }
    LRESULT OnWizardFinish() override { return m_run.OnWizardFinish(); }
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        return m_run.OnMessage(message, wParam, lParam, result);
    }

private:
    CInstallRun m_run;
};
