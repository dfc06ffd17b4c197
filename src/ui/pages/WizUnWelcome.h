// The uninstaller's first page: what will be removed, the personal-data
// option, and no way on while a program of the installation runs.
#pragma once

#include <cstdint>

#include "ui/Controls.h"
#include "ui/PropertyPage.h"

class CWizUnWelcome : public CPropertyPage {
public:
    CWizUnWelcome(const wchar_t* title, uint8_t* deletePersonalData);

protected:
    BOOL OnInitDialog() override;
    LRESULT OnSetActive() override;
    LRESULT OnWizardNext() override;
    LRESULT OnQueryCancel() override;
    LRESULT OnQueryInitialFocus() override;

private:
    uint8_t* m_pDeletePersonalData;
    CSimpleStatic m_welcome;
    CSimpleStatic m_removal;
    CSimpleEdit m_folder;
    CSimpleButton m_deleteData;
};
