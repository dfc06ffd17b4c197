// The install progress page: runs the installation worker, shows its steps,
// asks before a cancel, and rolls back or launches at Finish.
#pragma once

#include "install/InstallWorker.h"
#include "ui/pages/ProgressPage.h"

class CWizInstall : public CPropertyPage, public CInstallWorker {
public:
    explicit CWizInstall(const wchar_t* title);

protected:
    BOOL OnInitDialog() override;
    LRESULT OnSetActive() override { return StartWorker(); }
    LRESULT OnQueryCancel() override { return CInstallWorker::OnQueryCancel(); }
    LRESULT OnWizardFinish() override { return CInstallWorker::OnWizardFinish(); }
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    CProgressPageParts m_parts;
};
