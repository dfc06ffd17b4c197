// What the engine leaves behind a run that fails or is cancelled, the folders
// it makes above the installation folder, and files with other names.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <map>

#include "base/Str.h"
#include "base/WritableFolder.h"
#include "install/EngineFixture.h"
#include "package/InstallPackage.h"
#include "state/State.h"
#include "support/Process.h"
#include "support/TestPackage.h"
#include "support/TestZip.h"

namespace {

class InstallSafetyTest : public EngineTest {
protected:
    std::map<std::wstring, std::wstring> EntryValues() const { return RegistryValues(UninstallKey()); }
    bool EntryExists() const
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
};

TEST_F(InstallSafetyTest, ARolledBackRunLeavesNoUninstallerAndNoEntry)
{
    // Cancelled right after Uninstall.exe and its entry were written.
    {
        CRecordingReport report;
        CTestInstallEngine worker(Package, report);
        worker.cancelAt = 3;
        RunInstallation(worker);
        ASSERT_FALSE(report.succeeded);
        ASSERT_TRUE(Exists(Installed(L"Uninstall.exe")));
        ASSERT_TRUE(EntryExists());
        worker.RollBack();
        EXPECT_FALSE(Exists(Installed(L"Uninstall.exe")));
        EXPECT_FALSE(EntryExists()) << "the programs list would show a product that is not there";
        EXPECT_FALSE(Exists(m_install)) << "the folder this run made goes with it";
        EXPECT_FALSE(Exists(DesktopLink()));
        EXPECT_FALSE(Exists(GroupFolder()));
    }
    // Failed at the first start, the last step: no main program.
    std::wstring path = m_root.Path(L"noshortcut-setup.exe");
    ByteVector archive = MakeZip({{"app.dat", Bytes("data")}});
    ASSERT_TRUE(WriteBytes(path, ProgramFile({LicenseContainer(L"company_program=Kestrel Trader\r\n"
                                                               L"company_program_brief=K\r\n"
                                                               L"company_name=Kestrel Markets Ltd.\r\n"),
                                              ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, archive}})})));
    ASSERT_TRUE(Package.Load(path.c_str()));
    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    RunInstallation(worker, path);
    ASSERT_EQ((ReportedStep{3, StepFailed}), report.steps.back());
    ASSERT_TRUE(Exists(Installed(L"Uninstall.exe")));
    worker.RollBack();
    EXPECT_FALSE(Exists(Installed(L"Uninstall.exe")));
    EXPECT_FALSE(EntryExists());
    EXPECT_FALSE(Exists(m_install));
    ProgramName.Assign(L"Kestrel Trader");
}

TEST_F(InstallSafetyTest, ARolledBackRunPutsBackTheUninstallerAndEntryItFound)
{
    // An earlier installation's uninstaller and entry.
    ASSERT_TRUE(CreateDirectoryW(m_install.c_str(), nullptr));
    ByteVector earlier = Bytes("the earlier uninstaller");
    ASSERT_TRUE(WriteBytes(Installed(L"Uninstall.exe"), earlier));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, UninstallKey().c_str(), 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    const wchar_t version[] = L"4.10";
    RegSetValueExW(key, L"DisplayVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), sizeof(version));
    const wchar_t other[] = L"kept";
    RegSetValueExW(key, L"Comments", 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof(other));
    RegCloseKey(key);
    std::map<std::wstring, std::wstring> before = EntryValues();

    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    worker.cancelAt = 3;
    RunInstallation(worker);
    ASSERT_NE(before, EntryValues()) << "the run wrote the entry";
    worker.RollBack();
    ByteVector after;
    EXPECT_TRUE(ReadBytes(Installed(L"Uninstall.exe"), after));
    EXPECT_EQ(earlier, after);
    EXPECT_EQ(before, EntryValues());
    // The folder was there before: it stays, holding what it held.
    EXPECT_TRUE(Exists(m_install));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Installed(L"*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    std::vector<std::wstring> names;
    do {
        if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L".."))
            names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(std::vector<std::wstring>{L"Uninstall.exe"}, names);

    // A run that stands keeps no copy of the one it replaced.
    CRecordingReport second;
    CTestInstallEngine whole(Package, second);
    RunInstallation(whole);
    ASSERT_TRUE(second.succeeded);
    EXPECT_FALSE(Exists(Installed(L"Uninstall.exe.0.old")));
    EXPECT_NE(earlier, (ReadBytes(Installed(L"Uninstall.exe"), after), after));
}

// A folder's access list as text, as the system reports it.
std::wstring AccessListText(const std::wstring& folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL list = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return L"<unreadable>";
    wchar_t* text = nullptr;
    std::wstring result = L"<no text>";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

TEST_F(InstallSafetyTest, FoldersMadeAboveTheInstallationAreProtectedAndRolledBack)
{
    // Every folder the run makes gets the installation folder's own list
    // (Wine keeps of it what the mode bits can hold: no one else may read),
    // not the one a parent would hand down.
    std::wstring top = m_root.Path(L"Apps");
    m_install = top + L"\\Deep\\Kestrel Trader";
    m_settings.folder.Assign(m_install.c_str());
    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    worker.cancelAt = 1;
    RunInstallation(worker);
    ASSERT_FALSE(report.succeeded);
    std::wstring expected = AccessListText(m_install);
    EXPECT_EQ(std::wstring::npos, expected.find(L";;;WD)")) << "Everyone: " << testing::PrintToString(expected);
    for (const std::wstring& made : {top, top + L"\\Deep"})
        EXPECT_EQ(expected, AccessListText(made)) << testing::PrintToString(made);
    // The decision the settings page takes from them: nothing made by the
    // run can be renamed by others (Wine names the scratch folder's parents).
    TStrStatic<MAX_PATH> where;
    if (IsPathMovableByNonAdmins(m_install.c_str(), &where))
        EXPECT_GT(top.size(), where.GetLength()) << testing::PrintToString(std::wstring(where));
    worker.RollBack();
    EXPECT_FALSE(Exists(top)) << "the folders this run made above go as well";
    EXPECT_TRUE(Exists(m_root.Path(L"")));
}

TEST_F(InstallSafetyTest, FilesWithOtherNamesAreReplacedNotWritten)
{
    // An existing folder holding hard links to files outside it, under the
    // names of a program file and of the uninstaller.
    std::wstring outside = m_root.Path(L"outside");
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(m_install.c_str(), nullptr));
    ByteVector secret = Bytes("someone else's file");
    for (const wchar_t* name : {L"readme.txt", L"Uninstall.exe"}) {
        std::wstring target = outside + L"\\" + name;
        ASSERT_TRUE(WriteBytes(target, secret));
        ASSERT_TRUE(CreateHardLinkW(Installed(name).c_str(), target.c_str(), nullptr)) << GetLastError();
    }
    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    RunInstallation(worker);
    ASSERT_TRUE(report.succeeded);
    for (const wchar_t* name : {L"readme.txt", L"Uninstall.exe"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        ByteVector there, here;
        EXPECT_TRUE(ReadBytes(outside + L"\\" + name, there));
        EXPECT_EQ(secret, there) << "written through the link";
        EXPECT_TRUE(ReadBytes(Installed(name), here));
        EXPECT_NE(secret, here);
        BY_HANDLE_FILE_INFORMATION information = {};
        HANDLE file = CreateFileW(Installed(name).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        EXPECT_TRUE(GetFileInformationByHandle(file, &information));
        CloseHandle(file);
        EXPECT_EQ(1u, information.nNumberOfLinks);
    }
}

// The paths the system is to delete at the next restart.
std::vector<std::wstring> PendingDeletions()
{
    std::vector<std::wstring> paths;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return paths;
    std::vector<wchar_t> data(65536);
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t)), type = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &bytes) == ERROR_SUCCESS) {
        for (const wchar_t* p = data.data(); p < data.data() + bytes / sizeof(wchar_t) && *p; p += wcslen(p) + 1) {
            paths.push_back(p);
            p += wcslen(p) + 1; // the new name, empty for a deletion
        }
    }
    RegCloseKey(key);
    return paths;
}

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && _wcsicmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

TEST_F(InstallSafetyTest, WhatCannotGoNowGoesAtRestartOnlyUnderANameOfItsOwn)
{
    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    worker.cancelAt = 1;
    RunInstallation(worker);
    // A program file held open by another program, which lets it be neither
    // deleted nor renamed.
    HANDLE locked = CreateFileW(Installed(L"terminal.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    worker.RollBack();
    CloseHandle(locked);
    // At the restart the path may hold a file installed anew, or lead
    // through a link: nothing is scheduled by it.
    for (const std::wstring& pending : PendingDeletions())
        EXPECT_FALSE(EndsWith(pending, Installed(L"terminal.exe"))) << testing::PrintToString(pending);
    EXPECT_TRUE(Exists(Installed(L"terminal.exe"))) << "a file that cannot go stays where it is";
    EXPECT_FALSE(Exists(Installed(L"readme.txt")));
}

} // namespace
