// The environment checks and the running-instance check, on this machine.
#include <windows.h>

#include <gtest/gtest.h>

#include "state/State.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"
#include "ui/CheckInstanceDlg.h"
#include "ui/Environment.h"

namespace {

TEST(EnvironmentTest, VersionSimdAndPrivileges)
{
    WindowsVersion = 0;
    int version = GetWindowsVersion();
    EXPECT_GT(version, 500);
    EXPECT_EQ(version, WindowsVersion) << "cached";
    WindowsVersion = 777;
    EXPECT_EQ(777, GetWindowsVersion()) << "a cached value is not asked again";
    WindowsVersion = 0;
    // Every processor that runs these tests has SSE2.
    EXPECT_GE(GetSimdLevel(), 2);
    EXPECT_TRUE(EnablePrivileges());
}

class CheckInstanceTest : public ::testing::Test {
protected:
    // A package whose uninstall list names `files` (after the group and folder).
    void LoadList(const std::vector<std::wstring>& files)
    {
        ByteVector list(UNINSTALL_SLOT_BYTES * (files.size() + 2), 0);
        for (size_t i = 0; i < files.size(); ++i)
            memcpy(&list[(i + 2) * UNINSTALL_SLOT_BYTES], files[i].c_str(), files[i].size() * 2);
        std::wstring path = m_folder.Path(L"Uninstall.exe");
        ASSERT_TRUE(WriteBytes(path, ProgramFile({LicenseContainer(MINIMAL_CONFIG),
                                                  ContainerBytes(CONTAINER_UNINSTALL, {{RECORD_UNINSTALL_LIST, list}})})));
        ASSERT_TRUE(Package.Load(path.c_str()));
    }

    CTempFolder m_folder;
};

TEST_F(CheckInstanceTest, FindsListedProgramsThatRun)
{
    CRunningPrograms check;
    ASSERT_TRUE(check.LoadPsapi());
    std::wstring self = ProgramFolder() + L"\\ui_tests.exe";
    // The drive is cut before the comparison: the device form has none.
    EXPECT_TRUE(check.IsImageRunning(self.substr(2).c_str()));
    EXPECT_FALSE(check.IsImageRunning(L"\\nowhere\\kx-not-running.exe"));

    // A copy of a program, started from the folder, and listed.
    std::wstring program = m_folder.Path(L"kxrunning.exe");
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\..\\sample\\terminal.exe").c_str(), program.c_str(), FALSE));
    LoadList({m_folder.Path(L"readme.txt"), program, self});
    EXPECT_FALSE(check.FindRunningInstance(Package)) << "not running yet; this program itself is never matched";

    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION running = {};
    std::wstring line = L"\"" + program + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &running));
    WaitForInputIdle(running.hProcess, 10000);
    EXPECT_TRUE(check.FindRunningInstance(Package));
    // Only paths that end in ".exe" count.
    LoadList({program + L".txt", m_folder.Path(L"a.exe\\kxrunning.exe")});
    EXPECT_FALSE(check.FindRunningInstance(Package));
    TerminateProcess(running.hProcess, 0);
    WaitForSingleObject(running.hProcess, 5000);
    CloseHandle(running.hProcess);
    CloseHandle(running.hThread);
    LoadList({program});
    EXPECT_FALSE(check.FindRunningInstance(Package)) << "checked anew";
    Package.Free();
    EXPECT_FALSE(check.FindRunningInstance(Package)) << "no list: nothing found";
}

TEST_F(CheckInstanceTest, DialogEndsWithItsResult)
{
    LoadList({m_folder.Path(L"kx-never-started.exe")});
    CCheckInstanceDlg check;
    EXPECT_EQ(CCheckInstanceDlg::RESULT_NONE_RUNNING, check.DoModal(nullptr));
    LoadList({ProgramFolder() + L"\\..\\sample\\terminal.exe"});
    Package.Free();
}

} // namespace
