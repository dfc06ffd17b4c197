// The installation engine against the sample installer built by kxpack.
#include <windows.h>
#include <shlobj.h>

#include <map>

#include "app/Startup.h"
#include "base/ComPtr.h"
#include "base/FileSystem.h"
#include "install/EngineFixture.h"
#include "install/ProgramGroup.h"
#include "install/Shortcuts.h"
#include "install/UninstallerImage.h"
#include "package/InstallPackage.h"
#include "res/TextIds.h"
#include "state/State.h"
#include "support/Process.h"
#include "support/TestPackage.h"
#include "support/TestZip.h"
#include "support/UnixLink.h"

namespace {

struct LinkInfo {
    std::wstring target, folder, icon;
    int iconIndex = -99;
};

LinkInfo ReadLink(const std::wstring& path)
{
    LinkInfo info;
    TComPtr<IShellLinkW> link;
    TComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.Receive())) || FAILED(file->Load(path.c_str(), STGM_READ)))
        return info;
    wchar_t text[MAX_PATH];
    if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0)))
        info.target = text;
    if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH)))
        info.folder = text;
    if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &info.iconIndex)))
        info.icon = text;
    return info;
}

std::string ReadText(const std::wstring& path)
{
    ByteVector bytes;
    ReadBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

uint64_t FileBytes(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class InstallEngineTest : public EngineTest {};

TEST_F(InstallEngineTest, WholeInstallation)
{
    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    RunInstallation(worker);

    EXPECT_EQ(SUCCESSFUL_INSTALL, report.steps);
    EXPECT_EQ(1, report.finishedCalls);
    EXPECT_TRUE(report.succeeded);
    EXPECT_TRUE(worker.IsGroupCreated());
    EXPECT_TRUE(worker.IsFolderCreated());
    EXPECT_TRUE(report.errors.empty());
    EXPECT_TRUE(report.warnings.empty());

    // The files, in creation order: the group's shortcuts, the program
    // files, the desktop shortcut and the uninstaller's shortcut.
    std::vector<std::wstring> expected = {GroupFolder() + L"\\Kestrel Trader.lnk",
                                          GroupFolder() + L"\\Kestrel Trader Manual.lnk",
                                          Installed(L"docs\\manual.txt"),
                                          Installed(L"readme.txt"),
                                          Installed(L"terminal.exe"),
                                          DesktopLink(),
                                          GroupFolder() + L"\\Uninstall.lnk"};
    EXPECT_EQ(expected, Paths(worker.GetCreatedFiles()));
    for (const auto& path : expected)
        EXPECT_TRUE(Exists(path)) << testing::PrintToString(path);
    EXPECT_FALSE(Exists(Installed(L"setup.zip")));
    EXPECT_EQ(Installed(L"terminal.exe"), worker.GetMainProgramPath().GetString());

    // The group: one shortcut per configured entry, and the uninstaller's.
    LinkInfo main = ReadLink(GroupFolder() + L"\\Kestrel Trader.lnk");
    EXPECT_EQ(Installed(L"terminal.exe"), main.target);
    EXPECT_EQ(m_install, main.folder);
    EXPECT_EQ(Installed(L"terminal.exe"), main.icon);
    EXPECT_EQ(0, main.iconIndex);
    LinkInfo manual = ReadLink(GroupFolder() + L"\\Kestrel Trader Manual.lnk");
    EXPECT_EQ(Installed(L"docs\\manual.txt"), manual.target);
    LinkInfo uninstall = ReadLink(GroupFolder() + L"\\Uninstall.lnk");
    EXPECT_EQ(Installed(L"Uninstall.exe"), uninstall.target);
    EXPECT_EQ(Installed(L"Uninstall.exe"), uninstall.icon);
    EXPECT_EQ(1, uninstall.iconIndex);
    LinkInfo desktop = ReadLink(DesktopLink());
    EXPECT_EQ(Installed(L"terminal.exe"), desktop.target);
    EXPECT_EQ(0, desktop.iconIndex);

    // The registry values; the uninstaller's path quoted, the version the
    // one a package without product_version= shows.
    std::map<std::wstring, std::wstring> values = {
        {L"DisplayName", L"Kestrel Trader"},
        {L"DisplayIcon", Installed(L"terminal.exe")},
        {L"DisplayVersion", L"5.00"},
        {L"Publisher", L"Kestrel Markets Ltd."},
        {L"UninstallString", L"\"" + Installed(L"Uninstall.exe") + L"\""},
        {L"InstallLocation", m_install},
        {L"URLInfoAbout", L"https://www.example.com/kestrel"},
        {L"EstimatedSize", L"<not a string>"},
        {L"NoModify", L"<not a string>"},
        {L"NoRepair", L"<not a string>"},
    };
    EXPECT_EQ(values, RegistryValues(UninstallKey()));
    EXPECT_EQ(1u, RegistryNumber(UninstallKey(), L"NoModify"));
    EXPECT_EQ(1u, RegistryNumber(UninstallKey(), L"NoRepair"));
    // The size Windows shows: every installed file's bytes, in KB.
    uint64_t bytes = 0;
    for (const auto& path : expected)
        if (path.compare(0, m_install.size(), m_install) == 0)
            bytes += FileBytes(path);
    bytes += FileBytes(Installed(L"Uninstall.exe"));
    EXPECT_EQ((bytes + 1023) / 1024, RegistryNumber(UninstallKey(), L"EstimatedSize"));

    // The terminal was started once, with /install.
    EXPECT_EQ("/install\r\n", ReadText(TerminalLog()));
}

TEST_F(InstallEngineTest, UninstallerIsTheImageWithTheLicenceAndTheList)
{
    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    RunInstallation(worker);
    ASSERT_TRUE(report.succeeded);

    ByteVector installer, uninstaller;
    ASSERT_TRUE(ReadBytes(SampleInstaller(), installer));
    ASSERT_TRUE(ReadBytes(Installed(L"Uninstall.exe"), uninstaller));
    uint32_t imageBytes = 0;
    memcpy(&imageBytes, &installer[PACKAGE_OFFSET_FIELD], 4);
    uint32_t licenseBytes = sizeof(ContainerHeader);
    for (unsigned i = 0; i < Package.m_pLicense->GetRecordCount(); ++i)
        licenseBytes += sizeof(RecordHead) + Package.m_pLicense->GetRecord(i)->size;
    size_t slots = worker.GetCreatedFiles().GetCount() + worker.GetCreatedFolders().GetCount() + 2;
    ASSERT_EQ(imageBytes + licenseBytes + 88 + 8 + slots * 520 + 8 + 4, uninstaller.size());
    // The image (without checksum and signature entry) and the licence
    // container as shipped (kxpack puts the licence container first).
    ByteVector shipped(installer.begin(), installer.begin() + imageBytes + licenseBytes);
    ASSERT_TRUE(RemoveImageSignature(shipped.data(), imageBytes));
    EXPECT_TRUE(std::equal(shipped.begin(), shipped.end(), uninstaller.begin()));

    // Handed to kxpack inspect by a native test after this one.
    std::wstring output = ProgramFolder() + L"\\..\\test-output";
    CreateDirectoryW(output.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(Installed(L"Uninstall.exe").c_str(), (output + L"\\Uninstall.exe").c_str(), FALSE));
    std::vector<std::wstring> list = {m_group, m_install};
    for (const auto& path : Paths(worker.GetCreatedFiles()))
        list.push_back(path);
    // The folders the extraction made come last, each with a backslash.
    for (const auto& path : Paths(worker.GetCreatedFolders()))
        list.push_back(path + L"\\");
    ByteVector expected;
    for (const auto& slot : list) {
        char utf8[1024];
        int bytes = WideCharToMultiByte(CP_UTF8, 0, slot.c_str(), -1, utf8, sizeof(utf8), nullptr, nullptr);
        expected.insert(expected.end(), utf8, utf8 + bytes - 1);
        expected.push_back('\n');
    }
    ASSERT_TRUE(WriteBytes(output + L"\\expected-slots.txt", expected));

    // The uninstaller starts in uninstall mode, whatever its name.
    InstallPackage package;
    ASSERT_TRUE(package.Load(Installed(L"Uninstall.exe").c_str()));
    EXPECT_TRUE(package.IsUninstallMode());
    EXPECT_EQ(nullptr, package.m_pCore);
    TStrStatic<0x200> name;
    EXPECT_TRUE(package.m_pLicense->GetConfigValue(L"company_program=", name));
    // This run made both the folder and the group.
    const uint8_t* flags = nullptr;
    uint32_t flagBytes = 0;
    ASSERT_TRUE(package.m_pUninstall->FindRecord(RECORD_UNINSTALL_FLAGS, &flags, &flagBytes));
    EXPECT_EQ(UNINSTALL_CREATED_FOLDER | UNINSTALL_CREATED_GROUP, ReadUninstallFlags(flags, flagBytes));
}

TEST_F(InstallEngineTest, CancellationPointsAndRollBack)
{
    struct Expected {
        unsigned failedRow;
        bool groupCreated;
        size_t createdFiles;
    };
    const Expected expectations[] = {
        {1, true, 2}, // after the group: its two shortcuts
        {2, true, 5}, // after the program files
        {3, true, 5}, // after the custom files (none in the sample)
        {3, true, 7}, // after Uninstall.exe: the desktop and uninstaller shortcuts are made by then
    };
    for (int point = 0; point < 4; ++point) {
        SCOPED_TRACE(point);
        CRecordingReport report;
        CTestInstallEngine worker(Package, report);
        worker.cancelAt = point;
        RunInstallation(worker);

        const Expected& expected = expectations[point];
        ASSERT_FALSE(report.steps.empty());
        EXPECT_EQ((ReportedStep{expected.failedRow, StepFailed}), report.steps.back());
        EXPECT_TRUE(report.errors.empty()) << "no error after a cancel";
        EXPECT_EQ(1, report.finishedCalls);
        EXPECT_FALSE(report.succeeded);
        EXPECT_EQ(expected.groupCreated, worker.IsGroupCreated());
        std::vector<std::wstring> created = Paths(worker.GetCreatedFiles());
        EXPECT_EQ(expected.createdFiles, created.size());

        worker.RollBack();
        for (const auto& path : created)
            EXPECT_FALSE(Exists(path)) << testing::PrintToString(path);
        // The group goes only when this run created it; otherwise it stays.
        EXPECT_EQ(!expected.groupCreated, Exists(GroupFolder()));
        // So do the folders it made, once empty, and Uninstall.exe.
        EXPECT_FALSE(Exists(Installed(L"docs")));
        EXPECT_FALSE(Exists(m_install));
        RemoveTree(GroupFolder());
    }
}

TEST_F(InstallEngineTest, RollBackDeletesNothingThroughALink)
{
    // Cancelled after the program files; before Finish, "docs" becomes a link
    // to a folder outside holding a file of the listed name.
    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    worker.cancelAt = 1;
    RunInstallation(worker);
    std::wstring outside = m_root.Path(L"outside");
    ASSERT_TRUE(LinkDocsOutside(outside));
    worker.RollBack();
    EXPECT_TRUE(Exists(outside + L"\\manual.txt")) << "deleted through the link";
    EXPECT_FALSE(Exists(Installed(L"readme.txt"))) << "the rest is rolled back as before";
    EXPECT_TRUE(RemoveUnixLink(Installed(L"docs")));
}

TEST_F(InstallEngineTest, FailedExtractionReportsTheSystemErrorAndRollsBack)
{
    // An older readme.txt in the way, in use by another program. (A read-only
    // attribute would not stop Wine running as root.)
    ASSERT_TRUE(EnsureFolder(m_install.c_str()));
    ASSERT_TRUE(WriteBytes(Installed(L"readme.txt"), Bytes("old")));
    HANDLE inUse = CreateFileW(Installed(L"readme.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, inUse);

    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    RunInstallation(worker);

    EXPECT_EQ((ReportedStep{2, StepFailed}), report.steps.back());
    EXPECT_FALSE(report.succeeded);
    EXPECT_FALSE(worker.IsFolderCreated()) << "the folder was there before";
    EXPECT_EQ(std::vector<DWORD>{ERROR_SHARING_VIOLATION}, report.errors);
    // The file in use was not written by this run, so it is not listed. The
    // entry after it may have been written meanwhile by another thread; then
    // it is listed, and rolled back.
    std::vector<std::wstring> created = Paths(worker.GetCreatedFiles());
    std::vector<std::wstring> expected = {GroupFolder() + L"\\Kestrel Trader.lnk",
                                          GroupFolder() + L"\\Kestrel Trader Manual.lnk", Installed(L"docs\\manual.txt")};
    if (created.size() == expected.size() + 1)
        expected.push_back(Installed(L"terminal.exe"));
    EXPECT_EQ(expected, created);

    CloseHandle(inUse);
    worker.RollBack();
    EXPECT_FALSE(Exists(Installed(L"docs\\manual.txt")));
    EXPECT_FALSE(Exists(Installed(L"terminal.exe")));
    EXPECT_TRUE(Exists(Installed(L"readme.txt")));
    EXPECT_FALSE(Exists(GroupFolder()));
}

TEST_F(InstallEngineTest, ExistingGroupKeepsWhatOthersPutThere)
{
    // Another product's shortcut in a group folder of the same name.
    ASSERT_TRUE(EnsureFolder(GroupFolder().c_str()));
    std::wstring other = GroupFolder() + L"\\OtherProduct.lnk";
    ASSERT_TRUE(WriteBytes(other, Bytes("other product")));

    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    worker.cancelAt = 3; // after Uninstall.exe: everything is made by then
    RunInstallation(worker);
    EXPECT_FALSE(worker.IsGroupCreated());
    EXPECT_TRUE(Exists(GroupFolder() + L"\\Uninstall.lnk"));
    worker.RollBack();

    EXPECT_TRUE(Exists(other));
    for (const wchar_t* name : {L"Kestrel Trader.lnk", L"Kestrel Trader Manual.lnk", L"Uninstall.lnk"})
        EXPECT_FALSE(Exists(GroupFolder() + L"\\" + name)) << testing::PrintToString(std::wstring(name));

    // A group that names the existing folder otherwise is not made either:
    // nor is an empty group folder this run made left behind.
    DeleteFileW(other.c_str());
    wchar_t shortPath[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameW(GroupFolder().c_str(), shortPath, MAX_PATH));
    std::wstring shortName = wcsrchr(shortPath, L'\\') + 1;
    for (const std::wstring& name : {m_group + L".", shortName}) {
        SCOPED_TRACE(testing::PrintToString(name));
        wchar_t path[MAX_PATH];
        bool created = true;
        ASSERT_TRUE(CreateProgramGroupFolder(name.c_str(), path, &created));
        EXPECT_FALSE(created);
    }
    ASSERT_TRUE(RemoveDirectoryW(GroupFolder().c_str()));
    wchar_t path[MAX_PATH];
    bool created = false;
    ASSERT_TRUE(CreateProgramGroupFolder(m_group.c_str(), path, &created));
    EXPECT_TRUE(created);
}

TEST_F(InstallEngineTest, ShortcutsThatCannotBeWrittenAreNotListed)
{
    // Saving into a folder that does not exist fails, and says so.
    std::wstring missing = m_root.Path(L"missing\\x.lnk");
    EXPECT_FALSE(CreateShortcut(m_root.Root().c_str(), SampleInstaller().c_str(), missing.c_str(), L"", L"", L"", 0));
    EXPECT_FALSE(Exists(missing));

    // A desktop link path longer than a path may be is refused, not cut.
    ProgramName.Assign(std::wstring(240, L'K').c_str());
    wchar_t link[MAX_PATH];
    SetLastError(0);
    EXPECT_FALSE(CreateDesktopLink(Installed(L"terminal.exe").c_str(), m_install.c_str(), link, MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    wchar_t desktop[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE);
    std::wstring cut = (std::wstring(desktop) + L"\\" + std::wstring(240, L'K')).substr(0, MAX_PATH - 1);
    EXPECT_FALSE(Exists(cut));
    DeleteFileW(cut.c_str());
    // Nor does the engine list a desktop link it could not make.
    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    worker.SetSettings(m_settings);
    EXPECT_FALSE(worker.AddDesktopLink());
    EXPECT_EQ(0u, worker.GetCreatedFiles().GetCount());
    ProgramName.Assign(L"Kestrel Trader");
}

TEST_F(InstallEngineTest, NoMainProgramMakesTheFirstStartFail)
{
    // A configuration without shortcut 1, and a small archive.
    std::wstring path = m_root.Path(L"noshortcut-setup.exe");
    ByteVector archive = MakeZip({{"app.dat", Bytes("data")}});
    ASSERT_TRUE(WriteBytes(path, ProgramFile({LicenseContainer(L"company_program=Kestrel Trader\r\ncompany_program_brief=K\r\n"
                                                               L"company_name=Kestrel Markets Ltd.\r\n"),
                                              ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, archive}})})));
    ASSERT_TRUE(Package.Load(path.c_str()));
    m_settings.createDesktopShortcut = false;

    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    RunInstallation(worker, path);

    EXPECT_TRUE(Exists(GroupFolder())); // the group is made all the same
    EXPECT_TRUE(worker.GetMainProgramPath().IsEmpty());
    EXPECT_EQ((ReportedStep{3, StepFailed}), report.steps.back());
    EXPECT_EQ(std::vector<DWORD>{ERROR_FILE_NOT_FOUND}, report.errors);
    EXPECT_TRUE(Exists(Installed(L"app.dat")));
}

TEST_F(InstallEngineTest, GroupOutsideTheProgramsFolderIsRefused)
{
    wchar_t programs[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    std::wstring escape = std::wstring(programs) + L"\\..\\KxEscape";
    for (const wchar_t* group : {L"..\\KxEscape", L"..", L"C:\\KxEscape", L"\\KxEscape"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(group)));
        m_settings.group.Assign(group);
        CRecordingReport report;
        CTestInstallEngine worker(Package, report);
        RunInstallation(worker);
        EXPECT_EQ((ReportedStep{1, StepFailed}), report.steps.back());
        EXPECT_EQ(std::vector<unsigned>{IDS_GROUP_FAILED}, report.warnings);
        EXPECT_EQ(std::vector<DWORD>{ERROR_BAD_PATHNAME}, report.errors);
        EXPECT_FALSE(Exists(escape));
        EXPECT_FALSE(Exists(L"C:\\KxEscape"));
        // The rollback does not touch what lies outside either.
        worker.RollBack();
        EXPECT_TRUE(Exists(programs));
    }
}

} // namespace

namespace {

// The security data-directory entry (offset, size) and the checksum of a PE file.
struct SignatureFields {
    uint32_t checksum = 0, offset = 0, size = 0;
};

SignatureFields ReadSignatureFields(const ByteVector& file)
{
    SignatureFields fields;
    uint32_t pe = 0;
    memcpy(&pe, &file[0x3C], 4);
    size_t optional = pe + 24;
    uint16_t magic = 0;
    memcpy(&magic, &file[optional], 2);
    // The data directories follow a 96-byte PE32 or a 112-byte PE32+ header part.
    size_t directories = optional + (magic == 0x20B ? 112 : 96);
    memcpy(&fields.checksum, &file[optional + 64], 4);
    memcpy(&fields.offset, &file[directories + 4 * 8], 4);
    memcpy(&fields.size, &file[directories + 4 * 8 + 4], 4);
    return fields;
}

TEST_F(InstallEngineTest, SignedInstallerMakesAnUnsignedUninstaller)
{
    std::wstring signedInstaller = ProgramFolder() + L"\\kestrel-setup-signed.exe";
    ByteVector installer;
    ASSERT_TRUE(ReadBytes(signedInstaller, installer));
    SignatureFields signature = ReadSignatureFields(installer);
    ASSERT_NE(0u, signature.offset) << "the installer is signed";
    ASSERT_NE(0u, signature.size);

    // The signed installer still works: the signature behind the package is
    // trailing data to it.
    ASSERT_TRUE(LoadPackageAndNames(signedInstaller.c_str()));
    CRecordingReport report;
    CTestInstallEngine worker(Package, report);
    RunInstallation(worker, signedInstaller);
    ASSERT_TRUE(report.succeeded);

    ByteVector uninstaller, unsignedInstaller;
    ASSERT_TRUE(ReadBytes(Installed(L"Uninstall.exe"), uninstaller));
    ASSERT_TRUE(ReadBytes(SampleInstaller(), unsignedInstaller));
    SignatureFields cleaned = ReadSignatureFields(uninstaller);
    EXPECT_EQ(0u, cleaned.checksum);
    EXPECT_EQ(0u, cleaned.offset);
    EXPECT_EQ(0u, cleaned.size);
    // Nothing else of the image changed: the same as from the unsigned installer.
    uint32_t imageBytes = 0;
    memcpy(&imageBytes, &uninstaller[PACKAGE_OFFSET_FIELD], 4);
    ByteVector expected(unsignedInstaller.begin(), unsignedInstaller.begin() + imageBytes);
    RemoveImageSignature(expected.data(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), uninstaller.begin()));

    InstallPackage package;
    ASSERT_TRUE(package.Load(Installed(L"Uninstall.exe").c_str()));
    EXPECT_TRUE(package.IsUninstallMode());
}

} // namespace
