#include "ui/UnInstallWizard.h"

CUnInstallWizard::CUnInstallWizard(const CStr& title)
    : m_welcome(title, &m_bDeletePersonalData), m_uninstall(title, &m_bDeletePersonalData)
{
    AddPage(m_welcome);
    AddPage(m_uninstall);
}
