// The uninstaller's wizard: welcome (with the personal-data option) and
// uninstallation.
#pragma once

#include <cstdint>

#include "ui/WizardSheet.h"
#include "ui/pages/WizUnInstall.h"
#include "ui/pages/WizUnWelcome.h"

class CUnInstallWizard : public CWizardSheet {
public:
    explicit CUnInstallWizard(const CStr& title);

private:
    // Set by the welcome page as it leaves, read by the uninstallation worker.
    uint8_t m_bDeletePersonalData = 0;
    CWizUnWelcome m_welcome;
    CWizUnInstall m_uninstall;
};
