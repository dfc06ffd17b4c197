// The uninstallation engine, on an installation the installation engine made.
#include <windows.h>

#include <memory>

#include "app/Startup.h"
#include "base/FileSystem.h"
#include "install/EngineFixture.h"
#include "res/TextIds.h"
#include "state/State.h"
#include "support/TestPackage.h"
#include "support/TestZip.h"
#include "support/UnixLink.h"
#include "uninstall/ListedFiles.h"
#include "uninstall/UninstallEngine.h"

namespace {

// An engine that notes the self-removal it would start: a real one would
// delete the test program.
class CTestUninstallEngine : public CUninstallEngine {
public:
    using CUninstallEngine::CUninstallEngine;
    std::vector<FolderRemoval> removals;

protected:
    void RemoveSelf(FolderRemoval removal) override { removals.push_back(removal); }
};

class UninstallEngineTest : public EngineTest {
protected:
    // Installs the sample, then starts as its Uninstall.exe would: the
    // package and the names come from that file.
    void Install()
    {
        CRecordingReport report;
        CTestInstallEngine worker(Package, report);
        RunInstallation(worker);
        ASSERT_TRUE(report.succeeded);
        m_created = Paths(worker.GetCreatedFiles());
        ASSERT_TRUE(LoadPackageAndNames(Installed(L"Uninstall.exe").c_str()));
        DeleteFileW(TerminalLog().c_str());
    }
    void RunUninstallation(bool deletePersonalData)
    {
        m_report.reset(new CRecordingReport);
        m_worker.reset(new CTestUninstallEngine(Package, *m_report));
        m_worker->SetDeletePersonalData(deletePersonalData);
        m_worker->RunUninstall();
        EXPECT_EQ(1, m_report->finishedCalls);
    }
    bool KeyExists()
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    std::vector<std::wstring> m_created;
    std::unique_ptr<CRecordingReport> m_report;
    std::unique_ptr<CTestUninstallEngine> m_worker;
};

const std::vector<ReportedStep> UNINSTALL_RUN = {
    {0, StepRunning}, {0, StepDone}, {1, StepRunning}, {1, StepDone}, {2, StepRunning}, {2, StepDone},
};

TEST_F(UninstallEngineTest, WithoutPersonalData)
{
    Install();
    ASSERT_TRUE(KeyExists());
    ASSERT_TRUE(Exists(GroupFolder()));
    RunUninstallation(false);

    EXPECT_EQ(UNINSTALL_RUN, m_report->steps);
    EXPECT_TRUE(m_report->succeeded);
    EXPECT_TRUE(m_report->errors.empty());
    EXPECT_EQ(m_install, m_worker->GetInfo().folder.GetString());
    EXPECT_EQ(m_group, m_worker->GetInfo().group.GetString());
    EXPECT_STREQ(L"terminal.exe", m_worker->GetInfo().mainProgram.GetString());

    EXPECT_FALSE(Exists(GroupFolder()));
    for (const auto& path : m_created)
        EXPECT_FALSE(Exists(path)) << testing::PrintToString(path);
    EXPECT_FALSE(Exists(Installed(L"docs"))) << "a folder the files leave empty goes";
    EXPECT_FALSE(KeyExists());
    EXPECT_FALSE(Exists(TerminalLog())) << "the terminal is not started without the option";
    // The folder and the uninstaller stay for the self-removal.
    EXPECT_TRUE(Exists(Installed(L"Uninstall.exe")));
    m_worker->FinishUninstall();
    EXPECT_EQ(std::vector<FolderRemoval>{FolderRemoval::Keep}, m_worker->removals);
}

TEST_F(UninstallEngineTest, WithPersonalDataTheTerminalIsAsked)
{
    Install();
    RunUninstallation(true);
    EXPECT_EQ(UNINSTALL_RUN, m_report->steps);
    ByteVector log;
    ASSERT_TRUE(ReadBytes(TerminalLog(), log));
    EXPECT_EQ("/uninstall\r\n", std::string(log.begin(), log.end()));
    for (const auto& path : m_created)
        EXPECT_FALSE(Exists(path));
    // The installation made the folder: it goes with everything in it.
    m_worker->FinishUninstall();
    EXPECT_EQ(std::vector<FolderRemoval>{FolderRemoval::Whole}, m_worker->removals);
}

TEST_F(UninstallEngineTest, WhatWasThereBeforeStays)
{
    // A folder and a group folder that exist already, each holding another
    // product's file.
    ASSERT_TRUE(EnsureFolder(m_install.c_str()));
    ASSERT_TRUE(WriteBytes(Installed(L"other.txt"), Bytes("other")));
    ASSERT_TRUE(EnsureFolder(GroupFolder().c_str()));
    std::wstring otherLink = GroupFolder() + L"\\OtherProduct.lnk";
    ASSERT_TRUE(WriteBytes(otherLink, Bytes("other product")));
    Install();
    RunUninstallation(true);
    EXPECT_EQ(UNINSTALL_RUN, m_report->steps);

    for (const auto& path : m_created)
        EXPECT_FALSE(Exists(path)) << testing::PrintToString(path);
    EXPECT_TRUE(Exists(otherLink));
    EXPECT_TRUE(Exists(Installed(L"other.txt")));
    // Only an emptied folder may go: what others put there stays.
    m_worker->FinishUninstall();
    EXPECT_EQ(std::vector<FolderRemoval>{FolderRemoval::IfEmpty}, m_worker->removals);
}

TEST_F(UninstallEngineTest, NothingIsDeletedThroughALink)
{
    // Since the installation, "docs" has become a link to a folder outside
    // holding a file of the listed name; the installation folder has a
    // sibling reached through a link too.
    Install();
    std::wstring outside = m_root.Path(L"outside");
    ASSERT_TRUE(LinkDocsOutside(outside));
    RunUninstallation(false);
    EXPECT_EQ(UNINSTALL_RUN, m_report->steps);
    EXPECT_TRUE(Exists(outside + L"\\manual.txt")) << "deleted through the link";
    EXPECT_FALSE(Exists(Installed(L"readme.txt"))) << "the rest goes as before";
    EXPECT_TRUE(RemoveUnixLink(Installed(L"docs")));
}

TEST_F(UninstallEngineTest, ListThatCannotBeReadRemovesNothing)
{
    // Licence container and an uninstall container with flags but without its list.
    std::wstring path = m_root.Path(L"Uninstall.exe");
    ASSERT_TRUE(WriteBytes(path, ProgramFile({LicenseContainer(L"company_program=Kestrel Trader\r\ncompany_program_brief=K\r\n"
                                                               L"company_name=Kestrel Markets Ltd.\r\nfile_name_1=terminal.exe\r\n"),
                                              ContainerBytes(CONTAINER_UNINSTALL,
                                                             {{RECORD_UNINSTALL_FLAGS, ByteVector{3, 0, 0, 0}}})})));
    ASSERT_TRUE(LoadPackageAndNames(path.c_str()));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_LOCAL_MACHINE, UninstallKey().c_str(), &key));
    RegCloseKey(key);

    TUninstallInfo info;
    EXPECT_FALSE(LoadUninstallInfo(Package, info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_CORRUPT), GetLastError());
    EXPECT_FALSE(DeleteListedFiles(Package));
    RunUninstallation(true);
    // The files step fails and says why; the entry stays.
    const std::vector<ReportedStep> failed = {{0, StepRunning}, {0, StepDone},    {1, StepRunning},
                                              {1, StepDone},    {2, StepRunning}, {2, StepFailed}};
    EXPECT_EQ(failed, m_report->steps);
    EXPECT_FALSE(m_report->succeeded);
    EXPECT_EQ(std::vector<DWORD>{ERROR_FILE_CORRUPT}, m_report->errors);
    EXPECT_TRUE(m_worker->GetInfo().folder.IsEmpty());
    EXPECT_TRUE(m_worker->GetInfo().group.IsEmpty());
    EXPECT_FALSE(Exists(TerminalLog())) << "no folder: the terminal is not started";
    EXPECT_TRUE(KeyExists());
    // The uninstaller stays with its entry.
    m_worker->FinishUninstall();
    EXPECT_TRUE(m_worker->removals.empty());
}

TEST_F(UninstallEngineTest, ShortListsAreReadWithinTheirBytes)
{
    // One slot only (520 bytes): the group, no folder, no files; and a list
    // whose slot lacks its terminator.
    ByteVector oneSlot(520, 0);
    for (size_t i = 0; i < 520; i += 2)
        oneSlot[i] = 'g';
    std::wstring path = m_root.Path(L"Uninstall.exe");
    ASSERT_TRUE(WriteBytes(path, ProgramFile({LicenseContainer(MINIMAL_CONFIG),
                                              ContainerBytes(CONTAINER_UNINSTALL, {{RECORD_UNINSTALL_LIST, oneSlot}})})));
    ASSERT_TRUE(Package.Load(path.c_str()));
    TUninstallInfo info;
    EXPECT_FALSE(LoadUninstallInfo(Package, info));
    EXPECT_EQ(std::wstring(259, L'g'), info.group.GetString());
    EXPECT_TRUE(info.folder.IsEmpty());
    EXPECT_FALSE(DeleteListedFiles(Package));
}

} // namespace

namespace {

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(EmptiedFoldersTest, EachFolderIsTriedOnceDeepestFirstAndOnlyWhenEmpty)
{
    CTempFolder root;
    std::wstring top = root.Path(L"App");
    for (const wchar_t* folder : {L"App", L"App\\a", L"App\\a\\b", L"App\\a\\b\\c", L"App\\d", L"App\\e"})
        ASSERT_TRUE(CreateDirectoryW(root.Path(folder).c_str(), nullptr));
    // Someone else's file keeps its folder, and so the folders above it.
    ASSERT_TRUE(WriteBytes(root.Path(L"App\\d\\theirs.txt"), Bytes("theirs")));
    CEmptiedFolders emptied(top.c_str());
    for (const wchar_t* file : {L"App\\a\\b\\c\\1.txt", L"App\\a\\b\\c\\2.txt", L"App\\a\\3.txt", L"App\\d\\4.txt",
                                L"App\\top.txt", L"App\\e\\..\\..\\escape.txt", L"Elsewhere\\x.txt"})
        emptied.Note(root.Path(file).c_str());
    emptied.Remove();
    for (const wchar_t* gone : {L"App\\a\\b\\c", L"App\\a\\b", L"App\\a"})
        EXPECT_FALSE(FileExists(root.Path(gone))) << testing::PrintToString(std::wstring(gone));
    EXPECT_TRUE(FileExists(root.Path(L"App\\d")));
    EXPECT_TRUE(FileExists(root.Path(L"App\\e"))) << "a path that climbs is not followed";
    EXPECT_TRUE(FileExists(top)) << "the installation folder itself is not the list's to remove";
}

} // namespace
