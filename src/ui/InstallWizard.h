// The installer's wizard: welcome, licence, settings, installation.
#pragma once

#include "ui/WizardSheet.h"
#include "ui/pages/WizInstall.h"
#include "ui/pages/WizLicense.h"
#include "ui/pages/WizSetConf.h"
#include "ui/pages/WizWelcome.h"

class CInstallWizard : public CWizardSheet {
public:
    explicit CInstallWizard(const CStr& title);

private:
    // Written by the settings page as it leaves, read as the installation starts.
    TInstallSettings m_choices;
    CWizWelcome m_welcome;
    CWizLicense m_license;
    CWizSetConf m_settings;
    CWizInstall m_install;
};
