// The uninstall progress page: runs the uninstallation worker and, at
// Finish, starts the self-removal.
#pragma once

#include "ui/pages/ProgressPage.h"
#include "uninstall/UninstallWorker.h"

class CWizUnInstall : public CPropertyPage, public CUninstallWorker {
public:
    CWizUnInstall(const wchar_t* title, const uint8_t* deletePersonalData);

protected:
    BOOL OnInitDialog() override;
    LRESULT OnSetActive() override { return StartWorker(); }
    // The Cancel button is disabled; a close request is allowed.
    LRESULT OnQueryCancel() override { return 0; }
    LRESULT OnWizardFinish() override { return CUninstallWorker::OnWizardFinish(); }
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    CProgressPageParts m_parts;
};
