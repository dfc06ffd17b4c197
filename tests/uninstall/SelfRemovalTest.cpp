// The self-removal batch: its text byte for byte, where it goes, when it may
// remove the folder, and a real run under Wine.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "app/Globals.h"
#include "base/Str.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"
#include "uninstall/SelfRemoval.h"

namespace {

std::string Batch(const wchar_t* uninstaller, DWORD id, const wchar_t* batch, const wchar_t* folder, bool remove,
                  const wchar_t* setupFolder)
{
    char text[4096];
    size_t length = BuildSelfRemovalBatch(uninstaller, id, batch, folder, remove, setupFolder, text, sizeof(text));
    return std::string(text, length);
}

TEST(SelfRemovalTest, TheTwoTemplates)
{
    const wchar_t* folder = L"C:\\Apps\\Kestrel Trader";
    const wchar_t* uninstaller = L"C:\\Apps\\Kestrel Trader\\Uninstall.exe";
    const wchar_t* batch = L"C:\\Temp\\kx2uninstall.bat";
    EXPECT_EQ("cd\\\r\n"
              "\"C:\\Apps\\Kestrel Trader\\Uninstall.exe\" /processwait:1234\r\n"
              "del /Q \"C:\\Apps\\Kestrel Trader\\Uninstall.exe\"\r\n"
              "del /Q \"C:\\Temp\\kx2uninstall.bat\"\r\n",
              Batch(uninstaller, 1234, batch, folder, false, folder));
    EXPECT_EQ("cd\\\r\n"
              "\"C:\\Apps\\Kestrel Trader\\Uninstall.exe\" /processwait:1234\r\n"
              "del /Q \"C:\\Apps\\Kestrel Trader\\Uninstall.exe\"\r\n"
              "rd /S /Q \"C:\\Apps\\Kestrel Trader\"\r\n"
              "del /Q \"C:\\Temp\\kx2uninstall.bat\"\r\n",
              Batch(uninstaller, 1234, batch, folder, true, folder));
}

TEST(SelfRemovalTest, PercentSignsAreDoubledAndUnnarrowablePathsLeftOut)
{
    const wchar_t* folder = L"C:\\Apps\\100% Kestrel";
    EXPECT_EQ("cd\\\r\n"
              "\"C:\\Apps\\100%% Kestrel\\Uninstall.exe\" /processwait:7\r\n"
              "del /Q \"C:\\Apps\\100%% Kestrel\\Uninstall.exe\"\r\n"
              "rd /S /Q \"C:\\Apps\\100%% Kestrel\"\r\n"
              "del /Q \"C:\\T\\%%TEMP%%\\kx2uninstall.bat\"\r\n",
              Batch(L"C:\\Apps\\100% Kestrel\\Uninstall.exe", 7, L"C:\\T\\%TEMP%\\kx2uninstall.bat", folder, true, folder));

    // A character the OEM code page lacks: the lines with that path go, and
    // without the wait the folder removal goes too.
    const wchar_t* chinese = L"C:\\Apps\\\x4E2D";
    EXPECT_EQ("cd\\\r\ndel /Q \"C:\\T\\kx2uninstall.bat\"\r\n",
              Batch(L"C:\\Apps\\\x4E2D\\Uninstall.exe", 7, L"C:\\T\\kx2uninstall.bat", chinese, true, chinese));
    EXPECT_EQ("cd\\\r\n\"C:\\A\\Uninstall.exe\" /processwait:7\r\ndel /Q \"C:\\A\\Uninstall.exe\"\r\n"
              "rd /S /Q \"C:\\A\"\r\n",
              Batch(L"C:\\A\\Uninstall.exe", 7, L"C:\\T\\\x4E2D.bat", L"C:\\A", true, L"C:\\A"));
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
    std::string batch = Batch(L"C:\\Uninstall.exe", 9, L"C:\\T\\kx2uninstall.bat", L"C:", true, L"C:");
    EXPECT_EQ(std::string::npos, batch.find("rd /S"));
    EXPECT_NE(std::string::npos, batch.find("del /Q \"C:\\Uninstall.exe\""));
}

TEST(SelfRemovalTest, BatchFolderFallbacks)
{
    wchar_t temp[MAX_PATH], tmp[MAX_PATH];
    GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
    TStrStatic<MAX_PATH> path;
    SetEnvironmentVariableW(L"TEMP", L"C:\\FromTemp");
    SetEnvironmentVariableW(L"TMP", L"C:\\FromTmp");
    ASSERT_TRUE(GetSelfRemovalBatchPath(L"D:\\Kestrel\\Uninstall.exe", path));
    EXPECT_STREQ(L"C:\\FromTemp\\kx2uninstall.bat", path.GetString());
    SetEnvironmentVariableW(L"TEMP", nullptr);
    ASSERT_TRUE(GetSelfRemovalBatchPath(L"D:\\Kestrel\\Uninstall.exe", path));
    EXPECT_STREQ(L"C:\\FromTmp\\kx2uninstall.bat", path.GetString());
    SetEnvironmentVariableW(L"TMP", nullptr);
    ASSERT_TRUE(GetSelfRemovalBatchPath(L"D:\\Kestrel\\Uninstall.exe", path));
    EXPECT_STREQ(L"D:\\Kestrel\\kx2uninstall.bat", path.GetString());
    SetEnvironmentVariableW(L"TEMP", temp);
    SetEnvironmentVariableW(L"TMP", tmp);
}

// A real run: the batch waits for a process that stands for the ending
// uninstaller, then deletes the uninstaller (a copy of setup.exe, which is
// also the waiting program), the folder and itself.
class SelfRemovalRunTest : public ::testing::TestWithParam<bool> {};

TEST_P(SelfRemovalRunTest, BatchRemovesWhatItShould)
{
    bool removeFolder = GetParam();
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
    ASSERT_TRUE(StartSelfRemoval(uninstaller.c_str(), standIn.dwProcessId, folder.c_str(), removeFolder));
    SetEnvironmentVariableW(L"TEMP", temp);
    SetEnvironmentVariableW(L"TMP", tmp);
    std::wstring batch = root.Path(L"kx2uninstall.bat");
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
    EXPECT_EQ(removeFolder, GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutFolder, SelfRemovalRunTest, ::testing::Bool());

} // namespace
