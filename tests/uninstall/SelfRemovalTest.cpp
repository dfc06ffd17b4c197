// The self-removal batch: its text byte for byte, where it goes, when it may
// remove the folder, and a real run under Wine.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "state/State.h"
#include "base/Str.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"
#include "uninstall/SelfRemoval.h"

namespace {

std::string Batch(const wchar_t* uninstaller, DWORD id, const wchar_t* batch, const wchar_t* folder,
                  FolderRemoval removal, const wchar_t* setupFolder)
{
    char text[4096];
    size_t length = BuildSelfRemovalBatch(uninstaller, id, batch, folder, removal, setupFolder, text, sizeof(text));
    return std::string(text, length);
}

const FolderRemoval KEEP = FolderRemoval::Keep, IF_EMPTY = FolderRemoval::IfEmpty, WHOLE = FolderRemoval::Whole;

TEST(SelfRemovalTest, TheThreeTemplates)
{
    const wchar_t* folder = L"C:\\Apps\\Kestrel Trader";
    const wchar_t* uninstaller = L"C:\\Apps\\Kestrel Trader\\Uninstall.exe";
    const wchar_t* batch = L"C:\\Temp\\kx2uninstall-0000ABCD-0\\uninstall.bat";
    const std::string start = "cd\\\r\n"
                              "\"C:\\Apps\\Kestrel Trader\\Uninstall.exe\" /processwait:1234\r\n"
                              "del /Q \"C:\\Apps\\Kestrel Trader\\Uninstall.exe\"\r\n";
    // The batch and its folder go on one line, read whole before it runs.
    const std::string end = "del /Q \"C:\\Temp\\kx2uninstall-0000ABCD-0\\uninstall.bat\" & "
                            "rd /Q \"C:\\Temp\\kx2uninstall-0000ABCD-0\"\r\n";
    EXPECT_EQ(start + end, Batch(uninstaller, 1234, batch, folder, KEEP, folder));
    EXPECT_EQ(start + "rd /Q \"C:\\Apps\\Kestrel Trader\"\r\n" + end,
              Batch(uninstaller, 1234, batch, folder, IF_EMPTY, folder));
    EXPECT_EQ(start + "rd /S /Q \"C:\\Apps\\Kestrel Trader\"\r\n" + end,
              Batch(uninstaller, 1234, batch, folder, WHOLE, folder));
}

TEST(SelfRemovalTest, PercentSignsAreDoubledAndUnnarrowablePathsLeftOut)
{
    const wchar_t* folder = L"C:\\Apps\\100% Kestrel";
    EXPECT_EQ("cd\\\r\n"
              "\"C:\\Apps\\100%% Kestrel\\Uninstall.exe\" /processwait:7\r\n"
              "del /Q \"C:\\Apps\\100%% Kestrel\\Uninstall.exe\"\r\n"
              "rd /S /Q \"C:\\Apps\\100%% Kestrel\"\r\n"
              "del /Q \"C:\\T\\%%TEMP%%\\kx2uninstall.bat\" & rd /Q \"C:\\T\\%%TEMP%%\"\r\n",
              Batch(L"C:\\Apps\\100% Kestrel\\Uninstall.exe", 7, L"C:\\T\\%TEMP%\\kx2uninstall.bat", folder, WHOLE,
                    folder));

    // A character the OEM code page lacks: the lines with that path go, and
    // without the wait the folder removal goes too.
    const wchar_t* chinese = L"C:\\Apps\\\x4E2D";
    EXPECT_EQ("cd\\\r\ndel /Q \"C:\\T\\kx2uninstall.bat\" & rd /Q \"C:\\T\"\r\n",
              Batch(L"C:\\Apps\\\x4E2D\\Uninstall.exe", 7, L"C:\\T\\kx2uninstall.bat", chinese, WHOLE, chinese));
    EXPECT_EQ("cd\\\r\n\"C:\\A\\Uninstall.exe\" /processwait:7\r\ndel /Q \"C:\\A\\Uninstall.exe\"\r\n"
              "rd /S /Q \"C:\\A\"\r\n",
              Batch(L"C:\\A\\Uninstall.exe", 7, L"C:\\T\\\x4E2D.bat", L"C:\\A", WHOLE, L"C:\\A"));
}

TEST(SelfRemovalTest, FolderRemovalOnlyForTheUninstallersOwnFolder)
{
    wchar_t windows[MAX_PATH], programFiles[MAX_PATH], profile[MAX_PATH], programs[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, windows, CSIDL_WINDOWS, FALSE);
    SHGetSpecialFolderPathW(nullptr, programFiles, CSIDL_PROGRAM_FILES, FALSE);
    SHGetSpecialFolderPathW(nullptr, profile, CSIDL_PROFILE, FALSE);
    SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    std::wstring users = std::wstring(profile).substr(0, std::wstring(profile).rfind(L'\\'));
    std::wstring startMenu = std::wstring(programs).substr(0, std::wstring(programs).rfind(L'\\'));
    std::wstring inside = std::wstring(programFiles) + L"\\Kestrel Trader";

    EXPECT_TRUE(MayRemoveInstallFolder(inside.c_str(), inside.c_str()));
    EXPECT_TRUE(MayRemoveInstallFolder(L"D:\\Kestrel", L"d:\\KESTREL")); // compared without case
    EXPECT_TRUE(MayRemoveInstallFolder(L"\\\\server\\share\\Kestrel", L"\\\\server\\share\\Kestrel"));
    const wchar_t* refused[] = {L"C:", L"C:\\", L"C:\\Apps\\..", L"C:\\Apps\\.", L"C:\\Apps\\", L"C:Apps",
                                L"Apps\\Kestrel", L"", L"\\Apps", L"\\\\server\\share", L"\\\\?\\C:\\Apps",
                                L"C:\\Apps\\\\Kestrel"};
    for (const wchar_t* folder : refused)
        EXPECT_FALSE(MayRemoveInstallFolder(folder, folder)) << testing::PrintToString(std::wstring(folder));
    // Not the uninstaller's own folder.
    EXPECT_FALSE(MayRemoveInstallFolder(L"D:\\Kestrel", L"D:\\Kestrel\\bin"));
    EXPECT_FALSE(MayRemoveInstallFolder(L"D:\\Kestrel", nullptr));
    // The system's folders and those that hold them.
    for (const std::wstring& folder : {std::wstring(windows), std::wstring(programFiles), std::wstring(profile), users,
                                       std::wstring(programs), startMenu})
        EXPECT_FALSE(MayRemoveInstallFolder(folder.c_str(), folder.c_str())) << testing::PrintToString(folder);

    // Refused folders are left out of the batch; the rest of it stays.
    std::string batch = Batch(L"C:\\Uninstall.exe", 9, L"C:\\T\\kx2uninstall.bat", L"C:", WHOLE, L"C:");
    EXPECT_EQ(std::string::npos, batch.find("rd /S"));
    EXPECT_EQ(std::string::npos,
              Batch(L"C:\\Uninstall.exe", 9, L"C:\\T\\u.bat", L"C:", IF_EMPTY, L"C:").find("rd /Q \"C:\""));
    EXPECT_NE(std::string::npos, batch.find("del /Q \"C:\\Uninstall.exe\""));
}

TEST(SelfRemovalTest, BatchFolderFallbacks)
{
    wchar_t temp[MAX_PATH], tmp[MAX_PATH];
    GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
    TStrStatic<MAX_PATH> path;
    SetEnvironmentVariableW(L"TEMP", L"C:\\FromTemp\\");
    SetEnvironmentVariableW(L"TMP", L"C:\\FromTmp");
    ASSERT_TRUE(GetSelfRemovalBase(L"D:\\Kestrel\\Uninstall.exe", path));
    EXPECT_STREQ(L"C:\\FromTemp", path.GetString());
    SetEnvironmentVariableW(L"TEMP", nullptr);
    ASSERT_TRUE(GetSelfRemovalBase(L"D:\\Kestrel\\Uninstall.exe", path));
    EXPECT_STREQ(L"C:\\FromTmp", path.GetString());
    SetEnvironmentVariableW(L"TMP", nullptr);
    ASSERT_TRUE(GetSelfRemovalBase(L"D:\\Kestrel\\Uninstall.exe", path));
    EXPECT_STREQ(L"D:\\Kestrel", path.GetString());
    SetEnvironmentVariableW(L"TEMP", temp);
    SetEnvironmentVariableW(L"TMP", tmp);
}

TEST(SelfRemovalTest, BatchFolderIsNewAndNothingFoundThereIsUsed)
{
    CTempFolder root;
    TStrStatic<MAX_PATH> first, second;
    ASSERT_TRUE(CreateSelfRemovalFolder(root.Root().c_str(), 0x1234, first));
    EXPECT_EQ(root.Path(L"kx2uninstall-00001234-0"), first.GetString());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(first));
    // A second one for the same seed is another folder.
    ASSERT_TRUE(CreateSelfRemovalFolder(root.Root().c_str(), 0x1234, second));
    EXPECT_EQ(root.Path(L"kx2uninstall-00001234-1"), second.GetString());

    // What another user put at the names first (a folder holding a batch of
    // theirs, a file) is passed over and left as it was.
    std::wstring planted = root.Path(L"kx2uninstall-0000BEEF-0");
    ASSERT_TRUE(CreateDirectoryW(planted.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(planted + L"\\uninstall.bat", {'e', 'v', 'i', 'l'}));
    ASSERT_TRUE(WriteBytes(root.Path(L"kx2uninstall-0000BEEF-1"), {'x'}));
    TStrStatic<MAX_PATH> chosen;
    ASSERT_TRUE(CreateSelfRemovalFolder(root.Root().c_str(), 0xBEEF, chosen));
    EXPECT_EQ(root.Path(L"kx2uninstall-0000BEEF-2"), chosen.GetString());
    ByteVector bytes;
    ASSERT_TRUE(ReadBytes(planted + L"\\uninstall.bat", bytes));
    EXPECT_EQ("evil", std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(ReadBytes(root.Path(L"kx2uninstall-0000BEEF-1"), bytes));
    EXPECT_EQ("x", std::string(bytes.begin(), bytes.end()));

    EXPECT_FALSE(CreateSelfRemovalFolder(root.Path(L"missing").c_str(), 1, chosen));
}

TEST(SelfRemovalTest, CommandIsTheSystemsCmdWithoutAutoRun)
{
    wchar_t system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    TStrStatic<MAX_PATH> cmd;
    TStrStatic<3 * MAX_PATH> line;
    ASSERT_TRUE(BuildSelfRemovalCommand(L"C:\\Program Files (x86)\\K\\kx2uninstall-1-0\\uninstall.bat", cmd, line));
    EXPECT_EQ(std::wstring(system) + L"\\cmd.exe", cmd.GetString());
    EXPECT_EQ(L"\"" + std::wstring(system) +
                  L"\\cmd.exe\" /D /C \"\"C:\\Program Files (x86)\\K\\kx2uninstall-1-0\\uninstall.bat\"\"",
              line.GetString());
}

// The folder of the batch a run made in `root`; empty when there is none.
std::wstring FindBatchFolder(const std::wstring& root)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((root + L"\\kx2uninstall-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return L"";
    FindClose(search);
    return root + L"\\" + found.cFileName;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsEmptyFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool empty = true;
    do
        empty = empty && (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return empty;
}

// A real run: the batch waits for a process that stands for the ending
// uninstaller, then deletes the uninstaller (a copy of setup.exe, which is
// also the waiting program), the folder as asked and itself.
class SelfRemovalRunTest : public ::testing::TestWithParam<FolderRemoval> {};

TEST_P(SelfRemovalRunTest, BatchRemovesWhatItShould)
{
    FolderRemoval removal = GetParam();
    CTempFolder root;
    std::wstring folder = root.Path(L"Kestrel Trader");
    std::wstring uninstaller = folder + L"\\Uninstall.exe";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\setup.exe").c_str(), uninstaller.c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(folder + L"\\user-data.txt", {1, 2, 3}));
    // The batch goes next to the uninstaller here, as with TEMP and TMP unset.
    wchar_t temp[MAX_PATH], tmp[MAX_PATH];
    GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
    SetEnvironmentVariableW(L"TEMP", root.Root().c_str());

    // The "ending uninstaller": the sample terminal, which runs until its
    // window is closed.
    SetEnvironmentVariableW(L"KXTERMINAL_LOG", root.Path(L"terminal.log").c_str());
    std::wstring line = L"\"" + ProgramFolder() + L"\\..\\sample\\terminal.exe\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION standIn = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &standIn));
    SetEnvironmentVariableW(L"KXTERMINAL_LOG", nullptr);
    WaitForInputIdle(standIn.hProcess, 10000);

    SetupFolder.Assign(folder.c_str());
    ASSERT_TRUE(StartSelfRemoval(uninstaller.c_str(), standIn.dwProcessId, folder.c_str(), removal));
    SetEnvironmentVariableW(L"TEMP", temp);
    SetEnvironmentVariableW(L"TMP", tmp);
    // Not the fixed name of old, but a folder of its own.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(root.Path(L"kx2uninstall.bat").c_str()));
    std::wstring batchFolder = FindBatchFolder(root.Root());
    ASSERT_FALSE(batchFolder.empty());
    std::wstring batch = batchFolder + L"\\uninstall.bat";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(batch.c_str()));
    // While the stand-in runs, nothing is deleted.
    Sleep(700);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(uninstaller.c_str()));
    HWND window = FindWindowW(L"KestrelTerminal", nullptr);
    ASSERT_NE(nullptr, window);
    PostMessageW(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(standIn.hProcess, 10000);
    CloseHandle(standIn.hProcess);
    CloseHandle(standIn.hThread);

    DWORD start = GetTickCount();
    while (GetFileAttributesW(batch.c_str()) != INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 20000)
        Sleep(100);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(batch.c_str())) << "the batch deletes itself";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(uninstaller.c_str()));
    // Only the whole removal takes the user data; an emptied folder stays
    // here because of it.
    EXPECT_EQ(removal == FolderRemoval::Whole, GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(removal != FolderRemoval::Whole, Exists(folder + L"\\user-data.txt"));
    // The batch's folder goes with it; Wine's cmd holds the batch open to the
    // end, so there it is left empty for the restart to remove.
    EXPECT_TRUE(GetFileAttributesW(batchFolder.c_str()) == INVALID_FILE_ATTRIBUTES || IsEmptyFolder(batchFolder));
}

TEST(SelfRemovalRunIfEmptyTest, AnEmptiedFolderGoes)
{
    CTempFolder root;
    std::wstring folder = root.Path(L"Kestrel Trader");
    std::wstring uninstaller = folder + L"\\Uninstall.exe";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\setup.exe").c_str(), uninstaller.c_str(), FALSE));
    wchar_t temp[MAX_PATH];
    GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    SetEnvironmentVariableW(L"TEMP", root.Root().c_str());
    SetupFolder.Assign(folder.c_str());
    // A process that has ended already (its handle keeps the id): the wait
    // returns at once.
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    std::wstring line = L"cmd.exe /C exit";
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &process));
    WaitForSingleObject(process.hProcess, 10000);
    ASSERT_TRUE(StartSelfRemoval(uninstaller.c_str(), process.dwProcessId, folder.c_str(), FolderRemoval::IfEmpty));
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    SetEnvironmentVariableW(L"TEMP", temp);
    DWORD start = GetTickCount();
    while (Exists(folder) && GetTickCount() - start < 20000)
        Sleep(100);
    EXPECT_FALSE(Exists(folder)) << "nothing left in it: the folder goes";
}

INSTANTIATE_TEST_SUITE_P(EachFolderRemoval, SelfRemovalRunTest,
                         ::testing::Values(FolderRemoval::Keep, FolderRemoval::IfEmpty, FolderRemoval::Whole));

} // namespace
