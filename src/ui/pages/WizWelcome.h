// The installer's first page: the welcome text, and the checks of Windows
// and of the processor, which close the wizard when either is too old.
#pragma once

#include "ui/Controls.h"
#include "ui/PropertyPage.h"

const UINT WM_ENV_SSE2_MISSING = WM_USER + 1;
const UINT WM_ENV_OS_TOO_OLD = WM_USER + 2;

class CWizWelcome : public CPropertyPage {
public:
    explicit CWizWelcome(const wchar_t* title);

protected:
    BOOL OnInitDialog() override;
    LRESULT OnSetActive() override;
    LRESULT OnWizardNext() override;
    LRESULT OnQueryCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    bool m_bEnvFailed = false;
    CSimpleStatic m_intro;
};
