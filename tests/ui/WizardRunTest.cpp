// The install wizard run in this process, for what an end-to-end run under
// Wine cannot bring about: a Windows version that is too old.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "state/State.h"
#include "res/TextIds.h"
#include "support/FakePage.h"
#include "ui/InstallWizard.h"
#include "ui/UiModule.h"

namespace {

TEST(WizardRunTest, TooOldWindowsClosesTheWizardWithoutAPrompt)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ASSERT_TRUE(InitUiModule(GetModuleHandleW(nullptr)));
    ProgramName.Assign(L"Kestrel Trader");
    CompanyName.Assign(L"Kestrel Markets Ltd.");
    Package.Free(); // no package: the built-in header bitmap
    WindowsVersion = 500; // Windows 2000, as if already read

    CDialogAnswerer answerer(IDOK);
    INT_PTR result;
    {
        TStrStatic<0x100> title(L"Kestrel Trader Setup");
        CInstallWizard wizard(title);
        result = wizard.DoModal(nullptr);
    }
    WindowsVersion = 0;
    TermUiModule(GetModuleHandleW(nullptr));

    EXPECT_EQ(0, result) << "closed as by Cancel";
    wchar_t text[256];
    LoadStringW(GetModuleHandleW(nullptr), IDS_NEED_WINDOWS_XP, text, 256);
    std::vector<CDialogAnswerer::SeenBox> boxes = answerer.Boxes();
    ASSERT_EQ(1u, boxes.size()) << "the warning, and no cancel prompt";
    EXPECT_EQ(L"Kestrel Trader", boxes[0].caption);
    EXPECT_EQ(std::wstring(text), boxes[0].text);
}

} // namespace
