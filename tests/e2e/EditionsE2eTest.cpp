// Both editions of the same product on one 64-bit system: the 64-bit
// installer goes to the native Program Files and registry view, the 32-bit
// one (under WoW64) to where Windows redirects a 32-bit program, and
// otherwise both install, uninstall and roll back with the same results.
// Built into the 64-bit tests only; the 32-bit edition's build folder is
// named by KX_X86_BIN.
#include <windows.h>
#include <prsht.h>
#include <shlobj.h>

#include <algorithm>
#include <map>

#include "e2e/E2eFixture.h"
#include "res/ResourceIds.h"
#include "support/Process.h"
#include "support/TempFolder.h"

namespace {

const wchar_t UNINSTALL_PARENT[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t PRODUCT_KEY[] = L"Kestrel Trader";

struct Edition {
    const wchar_t* name;
    std::wstring bin;    // the build's bin folder, with the installers
    int programFiles;    // the Program Files the edition's default folder is in
    REGSAM view;         // where its uninstall entry belongs
    REGSAM otherView;
};

std::wstring SpecialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = L"";
    SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
    return path;
}

std::wstring X86Bin()
{
    wchar_t path[MAX_PATH] = L"";
    DWORD length = GetEnvironmentVariableW(L"KX_X86_BIN", path, MAX_PATH);
    if (!length || length >= MAX_PATH)
        return L"";
    std::wstring bin = path;
    std::replace(bin.begin(), bin.end(), L'/', L'\\');
    return bin[0] == L'\\' ? L"Z:" + bin : bin;
}

Edition X64() { return {L"64-bit", ProgramFolder(), CSIDL_PROGRAM_FILES, KEY_WOW64_64KEY, KEY_WOW64_32KEY}; }
Edition X86() { return {L"32-bit", X86Bin(), CSIDL_PROGRAM_FILESX86, KEY_WOW64_32KEY, KEY_WOW64_64KEY}; }

std::wstring DefaultFolderOf(const Edition& edition)
{
    return SpecialFolder(edition.programFiles) + L"\\Kestrel Trader";
}

// The uninstall entry's values in one registry view; empty when there is no entry.
std::map<std::wstring, std::wstring> EntryValues(REGSAM view, bool* exists = nullptr)
{
    std::map<std::wstring, std::wstring> values;
    HKEY key;
    std::wstring path = std::wstring(UNINSTALL_PARENT) + L"\\" + PRODUCT_KEY;
    bool opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS;
    if (exists)
        *exists = opened;
    if (!opened)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[1024];
        DWORD nameLength = 256, dataBytes = sizeof(data) - sizeof(wchar_t), type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes) !=
            ERROR_SUCCESS)
            break;
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        values[name] = type == REG_SZ ? data : L"<not a string>";
    }
    RegCloseKey(key);
    return values;
}

void DeleteEntry(REGSAM view)
{
    HKEY parent;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UNINSTALL_PARENT, 0, KEY_ALL_ACCESS | view, &parent) == ERROR_SUCCESS) {
        RegDeleteKeyW(parent, PRODUCT_KEY);
        RegCloseKey(parent);
    }
}

// What one edition's run left: names relative to its folder, so that the
// editions can be compared.
struct Outcome {
    std::vector<std::wstring> files;
    std::map<std::wstring, std::wstring> values;
    std::vector<std::wstring> groupLinks;
    bool desktopLink = false;
    bool inOwnView = false;
    bool inOtherView = false;
};

std::wstring Relative(const std::wstring& text, const std::wstring& folder)
{
    std::wstring result = text;
    for (size_t at; (at = result.find(folder)) != std::wstring::npos;)
        result.replace(at, folder.size(), L"<folder>");
    return result;
}

class EditionsE2eTest : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        ASSERT_FALSE(X86Bin().empty()) << "KX_X86_BIN names the 32-bit edition's bin folder";
        ASSERT_TRUE(Exists(X86Bin() + L"\\kestrel-setup.exe"))
            << "build the 32-bit edition first (cmake --build --preset mingw)";
        Clean();
    }
    void TearDown() override
    {
        Clean();
        E2eTest::TearDown();
    }
    static void Clean()
    {
        for (const Edition& edition : {X64(), X86()}) {
            RemoveTree(DefaultFolderOf(edition));
            DeleteEntry(edition.view);
        }
        RemoveTree(GroupFolder());
        DeleteFileW(DesktopLink().c_str());
    }

    static Outcome Observe(const Edition& edition)
    {
        Outcome outcome;
        std::wstring folder = DefaultFolderOf(edition);
        for (const std::wstring& file : FilesBelow(folder))
            outcome.files.push_back(Relative(file, folder));
        std::sort(outcome.files.begin(), outcome.files.end());
        for (const auto& value : EntryValues(edition.view, &outcome.inOwnView))
            outcome.values[value.first] = Relative(value.second, folder);
        EntryValues(edition.otherView, &outcome.inOtherView);
        for (const std::wstring& link : FilesBelow(GroupFolder()))
            outcome.groupLinks.push_back(Relative(link, GroupFolder()));
        std::sort(outcome.groupLinks.begin(), outcome.groupLinks.end());
        outcome.desktopLink = Exists(DesktopLink());
        return outcome;
    }

    // Through the wizard with its defaults (launch off) into the folder the
    // settings page proposes, which must be the edition's own.
    void Install(const Edition& edition, CWizardDriver& driver)
    {
        NamePages(driver);
        HWND settings = OpenSettings(driver, edition.bin + L"\\kestrel-setup.exe");
        ASSERT_NE(nullptr, settings);
        EXPECT_EQ(DefaultFolderOf(edition), driver.ItemText(settings, IDC_FOLDER));
        driver.Click(settings, IDC_LAUNCH);
        driver.Press(PSBTN_NEXT);
        HWND progress = driver.WaitForPage(IDC_STEP_LIST);
        ASSERT_NE(nullptr, progress);
        ExpectAllStepsDone(driver, progress, 4);
        if (HasFatalFailure())
            return;
        driver.Press(PSBTN_FINISH);
        DWORD exitCode = 0;
        ASSERT_TRUE(driver.WaitForExit(20000, &exitCode));
        EXPECT_GT(static_cast<int>(exitCode), 0);
    }

    // The installed Uninstall.exe through its wizard, then its self-removal.
    void Uninstall(const Edition& edition, CWizardDriver& driver)
    {
        std::wstring uninstaller = DefaultFolderOf(edition) + L"\\Uninstall.exe";
        NamePages(driver);
        ASSERT_TRUE(driver.Start(uninstaller));
        ASSERT_NE(nullptr, driver.WaitForSheet(L"Kestrel Trader Uninstall"));
        ASSERT_NE(nullptr, driver.WaitForPage(IDC_DELETE_DATA));
        driver.Press(PSBTN_NEXT);
        HWND progress = driver.WaitForPage(IDC_STEP_LIST);
        ASSERT_NE(nullptr, progress);
        ExpectAllStepsDone(driver, progress, 3);
        if (HasFatalFailure())
            return;
        driver.Press(PSBTN_FINISH);
        DWORD exitCode = 0;
        ASSERT_TRUE(driver.WaitForExit(20000, &exitCode));
        EXPECT_TRUE(CWizardDriver::WaitUntil([&] { return !Exists(uninstaller); }, 30000))
            << "the batch removes the uninstaller";
    }

    // The large installer, cancelled while it extracts, then Finish.
    void CancelDuringInstallation(const Edition& edition, CWizardDriver& driver)
    {
        NamePages(driver);
        ASSERT_NE(nullptr, OpenSettings(driver, edition.bin + L"\\kestrel-large-setup.exe"));
        driver.Press(PSBTN_NEXT);
        ASSERT_NE(nullptr, driver.WaitForPage(IDC_STEP_LIST));
        ASSERT_TRUE(AnswerCancel(driver, IDYES));
        ASSERT_TRUE(driver.WaitForButton(ID_WIZFINISH, true, 60000));
        driver.Press(PSBTN_FINISH);
        DWORD exitCode = 0;
        ASSERT_TRUE(driver.WaitForExit(30000, &exitCode));
    }
};

TEST_F(EditionsE2eTest, InstallAndUninstallAlike)
{
    std::map<std::wstring, Outcome> installed;
    for (const Edition& edition : {X64(), X86()}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(edition.name)));
        CWizardDriver installer(ScreenshotFolder() + L"\\" + edition.name + L"-install");
        Install(edition, installer);
        if (HasFatalFailure())
            return;
        Outcome outcome = Observe(edition);
        EXPECT_TRUE(outcome.inOwnView) << "the entry is in the edition's registry view";
        EXPECT_FALSE(outcome.inOtherView) << "and not in the other one";
        EXPECT_EQ(L"\"<folder>\\Uninstall.exe\"", outcome.values[L"UninstallString"]);
        EXPECT_TRUE(outcome.desktopLink);
        installed[edition.name] = outcome;

        CWizardDriver uninstaller(ScreenshotFolder() + L"\\" + edition.name + L"-uninstall");
        Uninstall(edition, uninstaller);
        if (HasFatalFailure())
            return;
        Outcome removed = Observe(edition);
        EXPECT_TRUE(removed.files.empty()) << removed.files.size() << " files left";
        EXPECT_FALSE(removed.inOwnView);
        EXPECT_FALSE(removed.inOtherView);
        EXPECT_TRUE(removed.groupLinks.empty());
        EXPECT_FALSE(removed.desktopLink);
    }
    const Outcome& x64 = installed[L"64-bit"];
    const Outcome& x86 = installed[L"32-bit"];
    EXPECT_EQ(x64.files, x86.files) << "the same files in the same places";
    EXPECT_EQ(x64.values, x86.values) << "the same entry";
    EXPECT_EQ(x64.groupLinks, x86.groupLinks) << "the same shortcuts";
    EXPECT_FALSE(x64.files.empty());
}

TEST_F(EditionsE2eTest, CancelledInstallationsRollBackAlike)
{
    for (const Edition& edition : {X64(), X86()}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(edition.name)));
        CWizardDriver driver(ScreenshotFolder() + L"\\" + edition.name);
        CancelDuringInstallation(edition, driver);
        if (HasFatalFailure())
            return;
        Outcome outcome = Observe(edition);
        EXPECT_TRUE(outcome.files.empty()) << outcome.files.size() << " files left, the first "
                                           << testing::PrintToString(outcome.files.empty() ? L"" : outcome.files[0]);
        EXPECT_FALSE(outcome.inOwnView);
        EXPECT_FALSE(outcome.inOtherView);
        EXPECT_FALSE(outcome.desktopLink);
        Clean();
    }
}

} // namespace
