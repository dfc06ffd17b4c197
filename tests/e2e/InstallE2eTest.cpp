// The installer's wizard run for real under Wine, driven from outside.
#include <windows.h>
#include <prsht.h>

#include <map>

#include "app/Globals.h"
#include "e2e/E2eFixture.h"
#include "package/InstallPackage.h"
#include "res/ResourceIds.h"
#include "res/TextIds.h"
#include "support/TestPackage.h"

namespace {

// The licence text the page should show: the package's entry for the
// system's locale, without its byte order mark.
std::wstring ExpectedLicense()
{
    InstallPackage package;
    if (!package.Load(E2eTest::Installer().c_str()))
        return L"<no package>";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    CSecureBuffer text;
    if (!package.m_pLicense->LoadLicenseText(temp, GetSystemDefaultLCID(), text))
        return L"<no licence for this locale>";
    return reinterpret_cast<const wchar_t*>(text.Data()) + 1;
}

class InstallE2eTest : public E2eTest {};

TEST_F(InstallE2eTest, HappyPath)
{
    CWizardDriver driver(ScreenshotFolder());
    ASSERT_TRUE(driver.Start(Installer()));
    ASSERT_NE(nullptr, driver.WaitForSheet(L"Kestrel Trader Setup"));

    HWND welcome = driver.WaitForPage(IDC_INTRO);
    ASSERT_NE(nullptr, welcome);
    EXPECT_EQ(L"Welcome to Kestrel Trader Setup program. This program will install Kestrel Trader on your computer.",
              driver.ItemText(welcome, IDC_INTRO));
    ASSERT_TRUE(driver.WaitForButton(ID_WIZNEXT, true));
    EXPECT_FALSE(driver.IsButtonEnabled(ID_WIZBACK));
    driver.Screenshot(driver.Sheet(), L"welcome");
    driver.Press(PSBTN_NEXT);

    HWND license = driver.WaitForPage(IDC_LICENSE_TEXT);
    ASSERT_NE(nullptr, license);
    EXPECT_EQ(ExpectedLicense(), driver.ItemText(license, IDC_LICENSE_TEXT));
    EXPECT_FALSE(driver.IsButtonEnabled(ID_WIZNEXT));
    EXPECT_TRUE(driver.IsButtonEnabled(ID_WIZBACK));
    driver.Screenshot(driver.Sheet(), L"license");
    driver.Click(license, IDC_AGREE);
    EXPECT_TRUE(driver.WaitForButton(ID_WIZNEXT, true));
    driver.Click(license, IDC_AGREE);
    EXPECT_TRUE(driver.WaitForButton(ID_WIZNEXT, false));
    driver.Click(license, IDC_AGREE);
    ASSERT_TRUE(driver.WaitForButton(ID_WIZNEXT, true));
    driver.Screenshot(driver.Sheet(), L"license-agreed");
    driver.Press(PSBTN_NEXT);

    HWND settings = driver.WaitForPage(IDC_FOLDER);
    ASSERT_NE(nullptr, settings);
    EXPECT_EQ(DefaultFolder(), driver.ItemText(settings, IDC_FOLDER));
    EXPECT_EQ(L"Kestrel Trader", driver.ItemText(settings, IDC_GROUP));
    EXPECT_TRUE(driver.IsChecked(settings, IDC_DESKTOP_SHORTCUT));
    EXPECT_TRUE(driver.IsChecked(settings, IDC_LAUNCH));
    EXPECT_EQ(L"Launch program after successful installation", driver.ItemText(settings, IDC_LAUNCH));
    driver.Screenshot(driver.Sheet(), L"settings");
    driver.Press(PSBTN_NEXT);

    HWND progress = driver.WaitForPage(IDC_STEP_LIST);
    ASSERT_NE(nullptr, progress);
    ASSERT_TRUE(driver.WaitForButton(ID_WIZFINISH, true, 60000));
    HWND list = GetDlgItem(progress, IDC_STEP_LIST);
    ASSERT_EQ(4, driver.RowCount(list));
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(1, driver.RowImage(list, row)) << "row " << row << " done";
    EXPECT_EQ(Message(IDS_INSTALL_DONE), driver.ItemText(progress, IDC_STATUS));
    EXPECT_FALSE(driver.IsButtonEnabled(IDCANCEL));
    driver.Screenshot(driver.Sheet(), L"installed");
    driver.Press(PSBTN_FINISH);

    DWORD exitCode = 0;
    ASSERT_TRUE(driver.WaitForExit(20000, &exitCode));
    EXPECT_GT(static_cast<int>(exitCode), 0) << "the sheet ends with Finish";
    // Finish launched the terminal.
    EXPECT_TRUE(CloseTerminal());

    for (const wchar_t* file : {L"terminal.exe", L"readme.txt", L"docs\\manual.txt", L"Uninstall.exe"})
        EXPECT_TRUE(Exists(DefaultFolder() + L"\\" + file)) << testing::PrintToString(std::wstring(file));
    for (const wchar_t* link : {L"Kestrel Trader.lnk", L"Kestrel Trader Manual.lnk", L"Uninstall.lnk"})
        EXPECT_TRUE(Exists(GroupFolder() + L"\\" + link)) << testing::PrintToString(std::wstring(link));
    EXPECT_TRUE(Exists(DesktopLink()));
    EXPECT_TRUE(KeyExists());
    ByteVector log;
    ASSERT_TRUE(ReadBytes(TerminalLog(), log));
    EXPECT_EQ("/install\r\n\r\n", std::string(log.begin(), log.end())) << "first start, then the launch at Finish";
}

} // namespace
