#include "e2e/E2eFixture.h"

#include <windows.h>
#include <shlobj.h>
#include <prsht.h>

#include "base/FileSystem.h"
#include "res/ResourceIds.h"
#include "res/TextIds.h"
#include "support/Process.h"
#include "support/TempFolder.h"

void E2eTest::SetUp()
{
    RemoveInstallation(DefaultFolder());
    DeleteFileW(TerminalLog().c_str());
    SetEnvironmentVariableW(L"KXTERMINAL_LOG", TerminalLog().c_str());
}

void E2eTest::TearDown()
{
    CloseTerminal(0);
    RemoveInstallation(DefaultFolder());
    if (!m_extraFolder.empty())
        RemoveInstallation(m_extraFolder);
    SetEnvironmentVariableW(L"KXTERMINAL_LOG", nullptr);
}

std::wstring E2eTest::Installer(const wchar_t* name)
{
    return ProgramFolder() + L"\\" + name;
}

std::wstring E2eTest::ScreenshotFolder()
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? test->name() : "run";
    return ProgramFolder() + L"\\..\\screenshots\\" + std::wstring(name.begin(), name.end());
}

std::wstring E2eTest::ProgramFiles()
{
    wchar_t path[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, FALSE);
    return path;
}

std::wstring E2eTest::GroupFolder()
{
    wchar_t path[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_COMMON_PROGRAMS, FALSE);
    return std::wstring(path) + L"\\Kestrel Trader";
}

std::wstring E2eTest::DesktopLink()
{
    wchar_t path[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE);
    return std::wstring(path) + L"\\Kestrel Trader.lnk";
}

std::wstring E2eTest::UninstallKey()
{
    return L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel Trader";
}

std::wstring E2eTest::TerminalLog()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"kxe2e-terminal.log";
}

bool E2eTest::Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool E2eTest::KeyExists()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void E2eTest::RemoveInstallation(const std::wstring& folder)
{
    RemoveTree(folder);
    RemoveTree(GroupFolder());
    DeleteFileW(DesktopLink().c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, UninstallKey().c_str());
}

std::wstring E2eTest::Message(unsigned id)
{
    wchar_t text[512];
    LoadStringW(GetModuleHandleW(nullptr), id, text, 512);
    return text;
}

void E2eTest::ExpectAllStepsDone(CWizardDriver& driver, HWND progress, int steps)
{
    ASSERT_TRUE(driver.WaitForButton(ID_WIZFINISH, true, 60000));
    HWND list = GetDlgItem(progress, IDC_STEP_LIST);
    ASSERT_EQ(steps, driver.RowCount(list));
    for (int row = 0; row < steps; ++row)
        EXPECT_EQ(1, driver.RowImage(list, row)) << "row " << row << " done";
}

void E2eTest::RunUninstaller(CWizardDriver& driver, const std::wstring& title, bool deletePersonalData,
                             DWORD* exitCode)
{
    ASSERT_TRUE(driver.Start(DefaultFolder() + L"\\Uninstall.exe"));
    ASSERT_NE(nullptr, driver.WaitForSheet(title));
    HWND welcome = driver.WaitForPage(IDC_DELETE_DATA);
    ASSERT_NE(nullptr, welcome);
    if (deletePersonalData)
        driver.Click(welcome, IDC_DELETE_DATA);
    ASSERT_EQ(deletePersonalData, driver.IsChecked(welcome, IDC_DELETE_DATA));
    driver.Press(PSBTN_NEXT);
    HWND progress = driver.WaitForPage(IDC_STEP_LIST);
    ASSERT_NE(nullptr, progress);
    ExpectAllStepsDone(driver, progress, 3);
    driver.Press(PSBTN_FINISH);
    ASSERT_TRUE(driver.WaitForExit(20000, exitCode));
}

bool E2eTest::AnswerCancel(CWizardDriver& driver, int answer)
{
    driver.Press(PSBTN_CANCEL);
    MessageBoxSeen box = driver.WaitForMessageBox();
    if (!box.window) {
        ADD_FAILURE() << "no confirmation of the cancel";
        return false;
    }
    EXPECT_EQ(Message(IDS_CONFIRM_CANCEL), box.text);
    driver.Answer(box, answer);
    return true;
}

bool E2eTest::CloseTerminal(DWORD timeoutMs)
{
    HWND terminal = nullptr;
    CWizardDriver::WaitUntil([&] { return (terminal = FindWindowW(L"KestrelTerminal", nullptr)) != nullptr; },
                             timeoutMs);
    if (!terminal)
        return false;
    PostMessageW(terminal, WM_CLOSE, 0, 0);
    CWizardDriver::WaitUntil([&] { return !IsWindow(terminal); }, 10000);
    return true;
}

void E2eTest::NamePages(CWizardDriver& driver)
{
    driver.SetPageNames({{IDC_INTRO, L"welcome"},
                         {IDC_LICENSE_TEXT, L"license"},
                         {IDC_FOLDER, L"settings"},
                         {IDC_STEP_LIST, L"progress"},
                         {IDC_DELETE_DATA, L"uninstall-welcome"}});
}

HWND E2eTest::OpenSettings(CWizardDriver& driver, const std::wstring& installer)
{
    if (!driver.Start(installer) || !driver.WaitForSheet(L"Kestrel Trader Setup") ||
        !driver.WaitForPage(IDC_INTRO) || !driver.WaitForButton(ID_WIZNEXT, true))
        return nullptr;
    driver.Press(PSBTN_NEXT);
    HWND license = driver.WaitForPage(IDC_LICENSE_TEXT);
    if (!license)
        return nullptr;
    driver.Click(license, IDC_AGREE);
    if (!driver.WaitForButton(ID_WIZNEXT, true))
        return nullptr;
    driver.Press(PSBTN_NEXT);
    return driver.WaitForPage(IDC_FOLDER);
}

void E2eTest::InstallWithDefaults(CWizardDriver& driver, const std::wstring& folder, bool exists,
                                  const std::wstring& installer)
{
    NamePages(driver);
    HWND settings = OpenSettings(driver, installer);
    ASSERT_NE(nullptr, settings);
    driver.SetItemText(settings, IDC_FOLDER, folder);
    driver.Click(settings, IDC_LAUNCH); // off: no terminal window at the end
    ASSERT_FALSE(driver.IsChecked(settings, IDC_LAUNCH));
    driver.Press(PSBTN_NEXT);
    if (exists) {
        // The warning about a folder others may change (which Wine gives for
        // every folder), then the question about an existing folder.
        MessageBoxSeen question = driver.WaitForMessageBox();
        ASSERT_NE(nullptr, question.window);
        driver.Answer(question, IDYES);
        MessageBoxSeen second = driver.WaitForMessageBox(3000);
        if (second.window)
            driver.Answer(second, IDYES);
    }
    ASSERT_NE(nullptr, driver.WaitForPage(IDC_STEP_LIST));
    ASSERT_TRUE(driver.WaitForButton(ID_WIZFINISH, true, 60000));
    driver.Press(PSBTN_FINISH);
    DWORD exitCode = 0;
    ASSERT_TRUE(driver.WaitForExit(20000, &exitCode));
    ASSERT_GT(static_cast<int>(exitCode), 0);
    ASSERT_TRUE(Exists(folder + L"\\Uninstall.exe"));
}
