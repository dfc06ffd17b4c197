// The uninstallation worker, on an installation the installation worker made.
#include <windows.h>
#include <prsht.h>

#include "app/Globals.h"
#include "app/Startup.h"
#include "base/FileSystem.h"
#include "install/EngineFixture.h"
#include "res/TextIds.h"
#include "support/TestPackage.h"
#include "support/TestZip.h"
#include "support/UnixLink.h"
#include "uninstall/UninstallWorker.h"

namespace {

std::vector<std::wstring> UninstallRows()
{
    return {L"  Prepare uninstall", L"  Remove program group", L"  Remove files"};
}

// A worker that notes the self-removal it would start: a real one would
// delete the test program.
class CTestUninstallWorker : public CUninstallWorker {
public:
    using CUninstallWorker::CUninstallWorker;
    std::vector<FolderRemoval> removals;

protected:
    void RemoveSelf(FolderRemoval removal) override { removals.push_back(removal); }
};

class UninstallWorkerTest : public EngineTest {
protected:
    // Installs the sample, then starts as its Uninstall.exe would: the
    // package and the names come from that file.
    void Install()
    {
        CTestInstallWorker worker;
        worker.SetSourceProgram(SampleInstaller().c_str());
        CFakePage page(InstallRows(), &worker);
        RunInstallation(worker, page);
        ASSERT_FALSE(worker.IsFailed());
        m_created = Paths(worker.GetCreatedFiles());
        ASSERT_TRUE(LoadPackageAndNames(Installed(L"Uninstall.exe").c_str()));
        InstallFolder.Assign(L"");
        ProgramGroup.Assign(L"");
        MainProgramPath.Assign(L"");
        DeleteFileW(TerminalLog().c_str());
    }
    void RunUninstallation(uint8_t deletePersonalData, CFakePage*& pageOut)
    {
        m_flag = deletePersonalData;
        m_worker.reset(new CTestUninstallWorker(&m_flag));
        m_page.reset(new CFakePage(UninstallRows(), m_worker.get()));
        pageOut = m_page.get();
        m_worker->StartWorker();
        EXPECT_FALSE(m_page->CancelEnabled());
        ASSERT_TRUE(m_page->PumpUntil([&] {
            return m_worker->IsFinished() && !m_page->buttons.empty() && m_page->buttons.back() == PSWIZB_FINISH;
        }));
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
    uint8_t m_flag = 0;
    std::unique_ptr<CTestUninstallWorker> m_worker;
    std::unique_ptr<CFakePage> m_page;
};

const std::vector<PostedStep> UNINSTALL_RUN = {
    {0, StepRunning, 0}, {0, StepDone, 33}, {1, StepRunning, 33}, {1, StepDone, 66}, {2, StepRunning, 66}, {2, StepDone, 100},
};

TEST_F(UninstallWorkerTest, WithoutPersonalData)
{
    Install();
    ASSERT_TRUE(KeyExists());
    ASSERT_TRUE(Exists(GroupFolder()));
    CFakePage* page = nullptr;
    RunUninstallation(0, page);

    EXPECT_EQ(UNINSTALL_RUN, page->steps);
    EXPECT_EQ((std::vector<LPARAM>{0, PSWIZB_FINISH}), page->buttons);
    wchar_t done[256];
    LoadStringW(GetModuleHandleW(nullptr), IDS_UNINSTALL_DONE, done, 256);
    EXPECT_EQ(std::wstring(done), page->StatusText());
    EXPECT_EQ(m_install, InstallFolder.GetString());
    EXPECT_EQ(m_group, ProgramGroup.GetString());
    EXPECT_STREQ(L"terminal.exe", MainProgramPath.GetString());

    EXPECT_FALSE(Exists(GroupFolder()));
    for (const auto& path : m_created)
        EXPECT_FALSE(Exists(path)) << testing::PrintToString(path);
    EXPECT_FALSE(Exists(Installed(L"docs"))) << "a folder the files leave empty goes";
    EXPECT_FALSE(KeyExists());
    EXPECT_FALSE(Exists(TerminalLog())) << "the terminal is not started without the option";
    // The folder and the uninstaller stay for the self-removal.
    EXPECT_TRUE(Exists(Installed(L"Uninstall.exe")));
    EXPECT_FALSE(m_worker->IsFailed());
    m_worker->OnWizardFinish();
    EXPECT_EQ(std::vector<FolderRemoval>{FolderRemoval::Keep}, m_worker->removals);
}

TEST_F(UninstallWorkerTest, WithPersonalDataTheTerminalIsAsked)
{
    Install();
    CFakePage* page = nullptr;
    RunUninstallation(1, page);
    EXPECT_EQ(UNINSTALL_RUN, page->steps);
    ByteVector log;
    ASSERT_TRUE(ReadBytes(TerminalLog(), log));
    EXPECT_EQ("/uninstall\r\n", std::string(log.begin(), log.end()));
    for (const auto& path : m_created)
        EXPECT_FALSE(Exists(path));
    // The installation made the folder: it goes with everything in it.
    m_worker->OnWizardFinish();
    EXPECT_EQ(std::vector<FolderRemoval>{FolderRemoval::Whole}, m_worker->removals);
}

TEST_F(UninstallWorkerTest, WhatWasThereBeforeStays)
{
    // A folder and a group folder that exist already, each holding another
    // product's file.
    ASSERT_TRUE(EnsureFolder(m_install.c_str()));
    ASSERT_TRUE(WriteBytes(Installed(L"other.txt"), Bytes("other")));
    ASSERT_TRUE(EnsureFolder(GroupFolder().c_str()));
    std::wstring otherLink = GroupFolder() + L"\\OtherProduct.lnk";
    ASSERT_TRUE(WriteBytes(otherLink, Bytes("other product")));
    Install();
    CFakePage* page = nullptr;
    RunUninstallation(1, page);
    EXPECT_EQ(UNINSTALL_RUN, page->steps);

    for (const auto& path : m_created)
        EXPECT_FALSE(Exists(path)) << testing::PrintToString(path);
    EXPECT_TRUE(Exists(otherLink));
    EXPECT_TRUE(Exists(Installed(L"other.txt")));
    // Only an emptied folder may go: what others put there stays.
    m_worker->OnWizardFinish();
    EXPECT_EQ(std::vector<FolderRemoval>{FolderRemoval::IfEmpty}, m_worker->removals);
}

TEST_F(UninstallWorkerTest, NothingIsDeletedThroughALink)
{
    // Since the installation, "docs" has become a link to a folder outside
    // holding a file of the listed name; the installation folder has a
    // sibling reached through a link too.
    Install();
    std::wstring outside = m_root.Path(L"outside");
    ASSERT_TRUE(LinkDocsOutside(outside));
    CFakePage* page = nullptr;
    RunUninstallation(0, page);
    EXPECT_EQ(UNINSTALL_RUN, page->steps);
    EXPECT_TRUE(Exists(outside + L"\\manual.txt")) << "deleted through the link";
    EXPECT_FALSE(Exists(Installed(L"readme.txt"))) << "the rest goes as before";
    EXPECT_TRUE(RemoveUnixLink(Installed(L"docs")));
}

TEST_F(UninstallWorkerTest, ListThatCannotBeReadRemovesNothing)
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
    InstallFolder.Assign(L"");
    ProgramGroup.Assign(L"");

    EXPECT_FALSE(LoadUninstallInfo());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_CORRUPT), GetLastError());
    EXPECT_FALSE(DeleteListedFiles());
    CDialogAnswerer answerer;
    CFakePage* page = nullptr;
    RunUninstallation(1, page);
    // The files step fails and says why; the entry stays, and "done" is not shown.
    const std::vector<PostedStep> failed = {{0, StepRunning, 0},  {0, StepDone, 33},  {1, StepRunning, 33},
                                            {1, StepDone, 66},    {2, StepRunning, 66}, {2, StepFailed, 100}};
    EXPECT_EQ(failed, page->steps);
    EXPECT_TRUE(m_worker->IsFailed());
    wchar_t error[512];
    FormatSystemError(ERROR_FILE_CORRUPT, error, 512);
    ASSERT_EQ(1u, answerer.Boxes().size());
    EXPECT_EQ(std::wstring(error), answerer.Boxes()[0].text);
    EXPECT_TRUE(page->StatusText().empty());
    EXPECT_TRUE(InstallFolder.IsEmpty());
    EXPECT_TRUE(ProgramGroup.IsEmpty());
    EXPECT_FALSE(Exists(TerminalLog())) << "no folder: the terminal is not started";
    EXPECT_TRUE(KeyExists());
    // The uninstaller stays with its entry.
    m_worker->OnWizardFinish();
    EXPECT_TRUE(m_worker->removals.empty());
}

TEST_F(UninstallWorkerTest, ShortListsAreReadWithinTheirBytes)
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
    LoadUninstallInfo();
    EXPECT_EQ(std::wstring(259, L'g'), ProgramGroup.GetString());
    EXPECT_TRUE(InstallFolder.IsEmpty());
    EXPECT_FALSE(DeleteListedFiles());
}

} // namespace
