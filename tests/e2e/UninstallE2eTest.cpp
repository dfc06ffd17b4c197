// The uninstaller's wizard run for real: blocked while the terminal runs,
// with and without the personal-data option, and its removal of itself.
#include <windows.h>
#include <prsht.h>

#include "e2e/E2eFixture.h"
#include "res/ResourceIds.h"
#include "res/TextIds.h"
#include "support/TestPackage.h"

namespace {

class UninstallE2eTest : public E2eTest {
protected:
    // Starts Uninstall.exe from the installation folder up to its welcome page.
    HWND OpenUninstaller(CWizardDriver& driver)
    {
        if (!driver.Start(DefaultFolder() + L"\\Uninstall.exe") || !driver.WaitForSheet(L"Kestrel Trader Uninstall"))
            return nullptr;
        return driver.WaitForPage(IDC_DELETE_DATA);
    }
    // Runs the uninstallation from the welcome page to the exit.
    void Uninstall(CWizardDriver& driver, HWND welcome, bool deletePersonalData)
    {
        if (deletePersonalData)
            driver.Click(welcome, IDC_DELETE_DATA);
        ASSERT_EQ(deletePersonalData, driver.IsChecked(welcome, IDC_DELETE_DATA));
        driver.Press(PSBTN_NEXT);
        HWND progress = driver.WaitForPage(IDC_STEP_LIST);
        ASSERT_NE(nullptr, progress);
        EXPECT_FALSE(driver.IsButtonEnabled(IDCANCEL)) << "an uninstallation cannot be cancelled";
        ExpectAllStepsDone(driver, progress, 3);
        if (HasFatalFailure())
            return;
        EXPECT_EQ(Message(IDS_UNINSTALL_DONE), driver.ItemText(progress, IDC_STATUS));
        driver.Screenshot(driver.Sheet(), deletePersonalData ? L"uninstalled-with-data" : L"uninstalled");
        driver.Press(PSBTN_FINISH);
        DWORD exitCode = 0;
        ASSERT_TRUE(driver.WaitForExit(20000, &exitCode));
        EXPECT_GT(static_cast<int>(exitCode), 0);
    }
    // The self-removal batch runs after the uninstaller has ended.
    static bool WaitForRemoval(const std::wstring& path)
    {
        return CWizardDriver::WaitUntil([&] { return !Exists(path); }, 30000);
    }
};

TEST_F(UninstallE2eTest, BlockedWhileTheTerminalRunsThenRemoved)
{
    CWizardDriver installer(ScreenshotFolder() + L"\\install");
    InstallWithDefaults(installer, DefaultFolder());
    if (HasFatalFailure())
        return;

    // The installed terminal, started from the installation folder.
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION terminal = {};
    std::wstring line = L"\"" + DefaultFolder() + L"\\terminal.exe\"";
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, DefaultFolder().c_str(),
                               &startup, &terminal));
    CloseHandle(terminal.hThread);
    WaitForInputIdle(terminal.hProcess, 10000);

    CWizardDriver driver(ScreenshotFolder());
    NamePages(driver);
    HWND welcome = OpenUninstaller(driver);
    ASSERT_NE(nullptr, welcome);
    EXPECT_EQ(L" Welcome to Kestrel Trader Remove program.", driver.ItemText(welcome, IDC_INTRO));
    EXPECT_EQ(DefaultFolder(), driver.ItemText(welcome, IDC_UNINSTALL_FOLDER));
    EXPECT_FALSE(driver.IsChecked(welcome, IDC_DELETE_DATA));

    driver.Press(PSBTN_NEXT);
    MessageBoxSeen box = driver.WaitForMessageBox();
    ASSERT_NE(nullptr, box.window);
    EXPECT_EQ(L"You should close Kestrel Trader to continue uninstall.\r\n\r\nPlease, close Kestrel Trader application.",
              box.text);
    driver.Screenshot(box.window, L"terminal-running");
    driver.Answer(box, IDOK);
    Sleep(300);
    EXPECT_EQ(welcome, driver.CurrentPage()) << "the page stays";

    CloseTerminal();
    WaitForSingleObject(terminal.hProcess, 10000);
    CloseHandle(terminal.hProcess);
    DeleteFileW(TerminalLog().c_str());
    Uninstall(driver, welcome, false);

    EXPECT_FALSE(Exists(GroupFolder()));
    EXPECT_FALSE(Exists(DesktopLink()));
    EXPECT_FALSE(KeyExists());
    for (const wchar_t* file : {L"terminal.exe", L"readme.txt", L"docs\\manual.txt"})
        EXPECT_FALSE(Exists(DefaultFolder() + L"\\" + file)) << testing::PrintToString(std::wstring(file));
    EXPECT_FALSE(Exists(TerminalLog())) << "without the option the terminal is not asked";
    EXPECT_TRUE(WaitForRemoval(DefaultFolder() + L"\\Uninstall.exe")) << "the batch removes the uninstaller";
    EXPECT_TRUE(Exists(DefaultFolder())) << "the folder stays without the option";
}

TEST_F(UninstallE2eTest, PersonalDataGoesWithTheFolder)
{
    CWizardDriver installer(ScreenshotFolder() + L"\\install");
    InstallWithDefaults(installer, DefaultFolder());
    if (HasFatalFailure())
        return;
    // Something the program wrote later, which the installation did not list.
    ASSERT_TRUE(WriteBytes(DefaultFolder() + L"\\settings.ini", {'x'}));
    DeleteFileW(TerminalLog().c_str());

    CWizardDriver driver(ScreenshotFolder());
    NamePages(driver);
    HWND welcome = OpenUninstaller(driver);
    ASSERT_NE(nullptr, welcome);
    Uninstall(driver, welcome, true);

    ByteVector log;
    ASSERT_TRUE(ReadBytes(TerminalLog(), log));
    EXPECT_EQ("/uninstall\r\n", std::string(log.begin(), log.end()));
    EXPECT_FALSE(KeyExists());
    EXPECT_TRUE(WaitForRemoval(DefaultFolder())) << "the batch removes the whole folder";
}

TEST_F(UninstallE2eTest, PersonalDataLeavesAFolderThatWasThereBefore)
{
    // The folder existed with another program's file in it.
    ASSERT_TRUE(CreateDirectoryW(DefaultFolder().c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(DefaultFolder() + L"\\other-tool.exe", {'x'}));
    CWizardDriver installer(ScreenshotFolder() + L"\\install");
    InstallWithDefaults(installer, DefaultFolder(), true);
    if (HasFatalFailure())
        return;

    CWizardDriver driver(ScreenshotFolder());
    NamePages(driver);
    HWND welcome = OpenUninstaller(driver);
    ASSERT_NE(nullptr, welcome);
    Uninstall(driver, welcome, true);

    EXPECT_TRUE(WaitForRemoval(DefaultFolder() + L"\\Uninstall.exe")) << "the batch removes the uninstaller";
    for (const wchar_t* file : {L"terminal.exe", L"readme.txt", L"docs"})
        EXPECT_FALSE(Exists(DefaultFolder() + L"\\" + file)) << testing::PrintToString(std::wstring(file));
    Sleep(500); // the batch's last lines
    EXPECT_TRUE(Exists(DefaultFolder() + L"\\other-tool.exe")) << "what was there before stays";
    EXPECT_FALSE(KeyExists());
}

} // namespace
