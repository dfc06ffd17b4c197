// The settings page: installation folder (typed or browsed), program group
// and the two options, checked and stored when the user presses Next.
#pragma once

#include <cstdint>

#include "base/Str.h"
#include "install/InstallSettings.h"
#include "ui/ColorEdit.h"
#include "ui/PropertyPage.h"

class CWizSetConf : public CPropertyPage {
public:
    // The choices go to `settings`, held by the sheet, when the user goes on.
    CWizSetConf(const wchar_t* title, TInstallSettings* settings);

    enum class PathText {
        Valid,
        Invalid,  // * ? < > |, nothing left, or MAX_PATH characters or more
        Unusable, // cannot be canonicalised
    };
    // Cleans a folder or group text: canonical form, no blanks around it,
    // backslashes for slashes, no trailing backslash.
    static PathText CleanPathText(const wchar_t* text, CStr& cleaned);
    // Whether a cleaned group name stays inside the Programs folder.
    static bool IsGroupNameInside(const wchar_t* group);

    // The drive must hold the installed files, and never less than 50 MB.
    static const int REQUIRED_FREE_MB = 50;
    // The free megabytes asked for files of `installedBytes` bytes.
    static uint64_t RequiredFreeMegabytes(uint64_t installedBytes);

protected:
    BOOL OnInitDialog() override;
    LRESULT OnSetActive() override;
    LRESULT OnWizardNext() override;
    LRESULT OnWizardBack() override;
    LRESULT OnQueryCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // CleanPathText with message 30 for an invalid text (none when it
    // cannot even be canonicalised).
    bool ValidatePathText(const wchar_t* text, CStr& cleaned) const;
    bool CheckFreeSpace(const wchar_t* folder) const;
    void Browse();

    TInstallSettings* m_pSettings;
    CSmallSmartEdit m_folder;
    CSmallSmartEdit m_group;
    CSimpleButton m_launch;
    CSimpleButton m_shortcut;
    CSimpleStatic m_intro;
};
