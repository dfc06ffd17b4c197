// The licence agreement for the system's language, from the package or
// built in; Next only while the agreement box is ticked.
#pragma once

#include "ui/ColorEdit.h"
#include "ui/PropertyPage.h"

class CWizLicense : public CPropertyPage {
public:
    explicit CWizLicense(const wchar_t* title);

    // The built-in licence text ("LNG" resource) for a locale: 10 for 1049,
    // 9 for every other.
    static unsigned LicenseResourceFor(LCID locale);

protected:
    BOOL OnInitDialog() override;
    LRESULT OnSetActive() override;
    LRESULT OnWizardBack() override;
    LRESULT OnQueryCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void UpdateButtons() const;
    void WidenToSheet();
    bool LoadLicenseFromArchive(LCID locale);
    void LoadLicenseResource(LCID locale);

    CSmallColorEdit m_text;
    CSimpleButton m_agree;
};
