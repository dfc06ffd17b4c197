// The installer's wizard run for real under Wine, driven from outside.
#include <windows.h>
#include <prsht.h>

#include <map>

#include "state/State.h"
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
    CSecureBuffer text;
    if (!package.m_pLicense->LoadLicenseText(GetSystemDefaultLCID(), text))
        return L"<no licence for this locale>";
    return reinterpret_cast<const wchar_t*>(text.Data()) + 1;
}

class InstallE2eTest : public E2eTest {};

TEST_F(InstallE2eTest, HappyPath)
{
    CWizardDriver driver(ScreenshotFolder());
    NamePages(driver);
    ASSERT_TRUE(driver.Start(Installer()));
    ASSERT_NE(nullptr, driver.WaitForSheet(L"Kestrel Trader Setup"));

    HWND welcome = driver.WaitForPage(IDC_INTRO);
    ASSERT_NE(nullptr, welcome);
    EXPECT_EQ(L"Welcome to Kestrel Trader Setup program. This program will install Kestrel Trader on your computer.",
              driver.ItemText(welcome, IDC_INTRO));
    ASSERT_TRUE(driver.WaitForButton(ID_WIZNEXT, true));
    EXPECT_FALSE(driver.IsButtonEnabled(ID_WIZBACK));
    driver.Press(PSBTN_NEXT);

    HWND license = driver.WaitForPage(IDC_LICENSE_TEXT);
    ASSERT_NE(nullptr, license);
    EXPECT_EQ(ExpectedLicense(), driver.ItemText(license, IDC_LICENSE_TEXT));
    EXPECT_FALSE(driver.IsButtonEnabled(ID_WIZNEXT));
    EXPECT_TRUE(driver.IsButtonEnabled(ID_WIZBACK));
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
    driver.Press(PSBTN_NEXT);

    HWND progress = driver.WaitForPage(IDC_STEP_LIST);
    ASSERT_NE(nullptr, progress);
    ExpectAllStepsDone(driver, progress, 4);
    if (HasFatalFailure())
        return;
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

namespace {

TEST_F(InstallE2eTest, SettingsAreChecked)
{
    CWizardDriver driver(ScreenshotFolder());
    NamePages(driver);
    HWND settings = OpenSettings(driver);
    ASSERT_NE(nullptr, settings);

    struct Case {
        const wchar_t* folder;
        const wchar_t* group;
        int focused;
    };
    // Invalid characters in the group are found before the folder is looked at.
    const Case invalid[] = {
        {L"C:\\Apps\\Trad?r", L"Kestrel Trader", IDC_FOLDER},
        {L"C:\\Apps|Trader", L"Kestrel Trader", IDC_FOLDER},
        {L"   ", L"Kestrel Trader", IDC_FOLDER},
        {L"\\\\\\", L"Kestrel Trader", IDC_FOLDER},
        {L"C:\\Apps\\Trad?r", L"Kestrel <Trader>", IDC_GROUP},
        {L"C:\\Apps\\Trader", L"..\\..\\Startup", IDC_GROUP},
        {L"C:\\Apps\\Trader", L"C:\\Outside", IDC_GROUP},
        {L"C:\\Apps\\Trader", L"\\Outside", IDC_GROUP},
        {L"C:\\Apps\\Trader", L".", IDC_GROUP},
    };
    for (const Case& c : invalid) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.folder) + L" / " + c.group));
        driver.SetItemText(settings, IDC_FOLDER, c.folder);
        driver.SetItemText(settings, IDC_GROUP, c.group);
        driver.Press(PSBTN_NEXT);
        MessageBoxSeen box = driver.WaitForMessageBox();
        ASSERT_NE(nullptr, box.window);
        EXPECT_EQ(L"Kestrel Trader", box.caption);
        EXPECT_EQ(Message(IDS_INVALID_PATH), box.text);
        driver.Answer(box, IDOK);
        EXPECT_TRUE(CWizardDriver::WaitUntil([&] { return driver.HasFocus(GetDlgItem(settings, c.focused)); }, 5000));
        EXPECT_EQ(settings, driver.CurrentPage());
    }
    // A text longer than a path can be is refused before it is canonicalised.
    driver.SetItemText(settings, IDC_GROUP, L"Kestrel Trader");
    driver.SetItemText(settings, IDC_FOLDER, L"C:\\" + std::wstring(300, L'x'));
    driver.Press(PSBTN_NEXT);
    MessageBoxSeen tooLong = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, tooLong.window);
    EXPECT_EQ(Message(IDS_INVALID_PATH), tooLong.text);
    driver.Answer(tooLong, IDOK);

    // A new folder below one that others may rename (Wine reports every
    // folder as the user's own): the warning names that folder, and No
    // keeps the page with nothing made.
    CreateDirectoryW(L"C:\\Apps", nullptr);
    driver.SetItemText(settings, IDC_FOLDER, L"C:\\Apps\\Kx New\\Trader");
    driver.Press(PSBTN_NEXT);
    MessageBoxSeen movable = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, movable.window);
    EXPECT_NE(std::wstring::npos, movable.text.find(L"The folder C:\\Apps can be changed by users")) << movable.text;
    driver.Answer(movable, IDNO);
    Sleep(300);
    EXPECT_EQ(settings, driver.CurrentPage()) << "No stays";
    EXPECT_FALSE(Exists(L"C:\\Apps\\Kx New"));

    // An existing folder, typed with blanks, slashes and a trailing slash.
    m_extraFolder = L"C:\\Apps\\Trader";
    ASSERT_TRUE(CreateDirectoryW(m_extraFolder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    driver.SetItemText(settings, IDC_FOLDER, L"  C:/Apps/Trader/  ");
    driver.Click(settings, IDC_LAUNCH);
    // Wine reports every folder as owned by the user's own account, not an
    // administrator's: the folder counts as changeable by others, and the
    // warning comes first; No keeps the page.
    driver.Press(PSBTN_NEXT);
    MessageBoxSeen changeable = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, changeable.window);
    EXPECT_NE(std::wstring::npos, changeable.text.find(L"C:\\Apps\\Trader can be changed by users without administrator"))
        << changeable.text;
    driver.Answer(changeable, IDNO);
    Sleep(300);
    EXPECT_EQ(settings, driver.CurrentPage()) << "No stays";
    driver.Press(PSBTN_NEXT);
    changeable = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, changeable.window);
    driver.Answer(changeable, IDYES);
    MessageBoxSeen exists = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, exists.window);
    EXPECT_NE(std::wstring::npos, exists.text.find(L"install Kestrel Trader to this folder?")) << exists.text;
    EXPECT_EQ(L"C:\\Apps\\Trader", driver.ItemText(settings, IDC_FOLDER)) << "cleaned";
    driver.Screenshot(driver.Sheet(), L"folder-exists");
    driver.Answer(exists, IDNO);
    Sleep(300);
    EXPECT_EQ(settings, driver.CurrentPage()) << "No stays";

    driver.Press(PSBTN_NEXT);
    changeable = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, changeable.window);
    driver.Answer(changeable, IDYES);
    exists = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, exists.window);
    driver.Answer(exists, IDYES);
    ASSERT_NE(nullptr, driver.WaitForPage(IDC_STEP_LIST)) << "Yes goes on";
    ASSERT_TRUE(driver.WaitForButton(ID_WIZFINISH, true, 60000));
    driver.Press(PSBTN_FINISH);
    DWORD exitCode = 0;
    ASSERT_TRUE(driver.WaitForExit(20000, &exitCode));
    EXPECT_TRUE(Exists(m_extraFolder + L"\\terminal.exe"));
    EXPECT_FALSE(CloseTerminal(1000)) << "launch was switched off";
}

TEST_F(InstallE2eTest, CancelOnTheWelcomePage)
{
    CWizardDriver driver(ScreenshotFolder());
    NamePages(driver);
    ASSERT_TRUE(driver.Start(Installer()));
    ASSERT_NE(nullptr, driver.WaitForSheet(L"Kestrel Trader Setup"));
    ASSERT_NE(nullptr, driver.WaitForPage(IDC_INTRO));
    ASSERT_TRUE(driver.WaitForButton(ID_WIZNEXT, true));

    driver.Press(PSBTN_CANCEL);
    MessageBoxSeen box = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, box.window);
    EXPECT_EQ(Message(IDS_CONFIRM_CANCEL), box.text);
    driver.Screenshot(box.window, L"cancel-prompt");
    driver.Answer(box, IDNO);
    DWORD exitCode = 0;
    EXPECT_FALSE(driver.WaitForExit(1000, &exitCode)) << "No keeps the wizard open";

    driver.Press(PSBTN_CANCEL);
    box = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, box.window);
    driver.Answer(box, IDYES);
    ASSERT_TRUE(driver.WaitForExit(10000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(Exists(DefaultFolder()));
}

TEST_F(InstallE2eTest, CancelDuringTheInstallationRollsBack)
{
    // A payload of many files, so that the extraction is still running when
    // the cancel is confirmed; the stop takes effect between files.
    CWizardDriver driver(ScreenshotFolder());
    NamePages(driver);
    ASSERT_NE(nullptr, OpenSettings(driver, Installer(L"kestrel-large-setup.exe")));
    driver.Press(PSBTN_NEXT);
    HWND progress = driver.WaitForPage(IDC_STEP_LIST);
    ASSERT_NE(nullptr, progress);

    ASSERT_TRUE(AnswerCancel(driver, IDYES));
    ASSERT_TRUE(driver.WaitForButton(ID_WIZFINISH, true, 60000));
    EXPECT_FALSE(driver.IsButtonEnabled(IDCANCEL));
    HWND list = GetDlgItem(progress, IDC_STEP_LIST);
    int failedRow = -1;
    for (int row = 0; row < driver.RowCount(list); ++row)
        if (driver.RowImage(list, row) == 2)
            failedRow = row;
    EXPECT_GE(failedRow, 1) << "the worker stopped at a cancellation point";
    EXPECT_TRUE(driver.ItemText(progress, IDC_STATUS).empty());
    driver.Screenshot(driver.Sheet(), L"cancelled");
    // Pressing Cancel again is refused without a prompt.
    driver.Press(PSBTN_CANCEL);
    EXPECT_EQ(nullptr, driver.WaitForMessageBox(1000).window);

    driver.Press(PSBTN_FINISH);
    DWORD exitCode = 0;
    ASSERT_TRUE(driver.WaitForExit(30000, &exitCode));
    EXPECT_FALSE(CloseTerminal(1000)) << "no launch after a cancel";
    // The rollback leaves no file this run created, nor the folders it made.
    std::vector<std::wstring> left = FilesBelow(DefaultFolder());
    EXPECT_TRUE(left.empty()) << left.size() << " files left, the first "
                              << testing::PrintToString(left.empty() ? L"" : left[0]);
    // Uninstall.exe and its entry are made last: only a cancel after them finds them.
    EXPECT_EQ(failedRow == 3, Exists(DefaultFolder())) << "the folder this run made goes unless Uninstall.exe is in it";
    EXPECT_EQ(failedRow == 3, KeyExists());
    // A cancel during the group step leaves the group; a later one removes it.
    EXPECT_EQ(failedRow == 1, Exists(GroupFolder()));
    EXPECT_FALSE(Exists(DesktopLink()));
}

} // namespace
