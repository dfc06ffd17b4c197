#include "ui/InstallWizard.h"

CInstallWizard::CInstallWizard(const CStr& title)
    : m_welcome(title), m_license(title), m_settings(title, &m_choices), m_install(title, &m_choices)
{
    AddPage(m_welcome);
    AddPage(m_license);
    AddPage(m_settings);
    AddPage(m_install);
}
