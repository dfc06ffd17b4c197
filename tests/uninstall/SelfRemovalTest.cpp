// The self-removal batch: its text byte for byte, where it goes, when it may
// remove the folder, and a real run under Wine.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cwchar>
#include <initializer_list>
#include <set>
#include <string>

#include "state/State.h"
#include "base/Str.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"
#include "uninstall/SelfRemoval.h"

namespace {

// The batch text; code page 437 unless told (it lacks Chinese).
std::string Batch(const wchar_t* uninstaller, DWORD id, const wchar_t* batch, const wchar_t* folder,
                  FolderRemoval removal, const wchar_t* setupFolder, UINT codePage = 437)
{
    char text[4096];
    size_t length =
        BuildSelfRemovalBatch(uninstaller, id, batch, folder, removal, setupFolder, codePage, text, sizeof(text));
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

    // A character the code page lacks: the lines with that path go. Without
    // the uninstaller's there is no batch at all: it would only delete itself.
    const wchar_t* chinese = L"C:\\Apps\\\x4E2D";
    EXPECT_EQ("", Batch(L"C:\\Apps\\\x4E2D\\Uninstall.exe", 7, L"C:\\T\\kx2uninstall.bat", chinese, WHOLE, chinese));
    EXPECT_EQ("cd\\\r\n\"C:\\A\\Uninstall.exe\" /processwait:7\r\ndel /Q \"C:\\A\\Uninstall.exe\"\r\n"
              "rd /S /Q \"C:\\A\"\r\n",
              Batch(L"C:\\A\\Uninstall.exe", 7, L"C:\\T\\\x4E2D.bat", L"C:\\A", WHOLE, L"C:\\A"));
}

// UTF-8 and UTF-7 take every character, but WideCharToMultiByte refuses
// them the flags that guard the other code pages (Wine only for UTF-7).
TEST(SelfRemovalTest, UnicodeCodePagesCarryEveryPath)
{
    // Cyrillic, Chinese, and a character beyond 16 bits (a surrogate pair).
    const std::wstring folder =
        L"C:\\\x041F\x0440\x043E\x0433\x0440\x0430\x043C\x043C\x044B\\\x4E2D\x6587 \xD842\xDFB7";
    const std::wstring uninstaller = folder + L"\\Uninstall.exe";
    const std::wstring batch = L"C:\\Temp\\kx2uninstall-00000001-0\\uninstall.bat";
    const std::wstring expected = L"cd\\\r\n\"" + uninstaller + L"\" /processwait:5\r\ndel /Q \"" + uninstaller +
                                  L"\"\r\nrd /S /Q \"" + folder + L"\"\r\ndel /Q \"" + batch +
                                  L"\" & rd /Q \"C:\\Temp\\kx2uninstall-00000001-0\"\r\n";
    for (UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_UTF7)}) {
        SCOPED_TRACE(codePage);
        std::string text =
            Batch(uninstaller.c_str(), 5, batch.c_str(), folder.c_str(), WHOLE, folder.c_str(), codePage);
        ASSERT_FALSE(text.empty());
        wchar_t wide[4096];
        int chars = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide, 4096);
        EXPECT_EQ(expected, std::wstring(wide, chars > 0 ? chars : 0));
    }
    std::string utf8 = Batch(uninstaller.c_str(), 5, batch.c_str(), folder.c_str(), WHOLE, folder.c_str(), CP_UTF8);
    EXPECT_NE(std::string::npos,
              utf8.find("rd /S /Q \"C:\\\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD1\x8B\\"
                        "\xE4\xB8\xAD\xE6\x96\x87 \xF0\xA0\xAE\xB7\"\r\n"));
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

TEST(SelfRemovalTest, BatchFolderPlacesAreTheSystemsNotTheUsersTemp)
{
    wchar_t temp[MAX_PATH], tmp[MAX_PATH], windows[MAX_PATH], commonData[MAX_PATH];
    GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
    ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, commonData, CSIDL_COMMON_APPDATA, FALSE));
    // The user's temporary folder, which they could rename under Admin
    // Approval Mode, is not among them.
    SetEnvironmentVariableW(L"TEMP", L"C:\\FromTemp");
    SetEnvironmentVariableW(L"TMP", L"C:\\FromTmp");
    TStrStatic<MAX_PATH> first, second;
    GetSelfRemovalBases(first, second);
    SetEnvironmentVariableW(L"TEMP", temp);
    SetEnvironmentVariableW(L"TMP", tmp);
    EXPECT_EQ(std::wstring(windows) + L"\\Temp", first.GetString());
    EXPECT_STREQ(commonData, second.GetString());
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

TEST(SelfRemovalTest, CommandIsTheSystemsCmdWithoutAutoRunOrDelayedExpansion)
{
    wchar_t system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    TStrStatic<MAX_PATH> cmd;
    TStrStatic<3 * MAX_PATH> line;
    ASSERT_TRUE(BuildSelfRemovalCommand(L"C:\\Program Files (x86)\\K\\kx2uninstall-1-0\\uninstall.bat", cmd, line));
    EXPECT_EQ(std::wstring(system) + L"\\cmd.exe", cmd.GetString());
    EXPECT_EQ(L"\"" + std::wstring(system) +
                  L"\\cmd.exe\" /D /V:OFF /C \"\"C:\\Program Files (x86)\\K\\kx2uninstall-1-0\\uninstall.bat\"\"",
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

// Every batch folder in `base`.
std::set<std::wstring> BatchFolders(const std::wstring& base)
{
    std::set<std::wstring> folders;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((base + L"\\kx2uninstall-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return folders;
    do
        folders.insert(base + L"\\" + found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return folders;
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

// A process that has ended already; its handle keeps the id, so a wait for
// it returns at once.
class CEndedProcess {
public:
    CEndedProcess()
    {
        STARTUPINFOW startup = {sizeof(startup)};
        std::wstring line = L"cmd.exe /C exit";
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                           &m_process))
            WaitForSingleObject(m_process.hProcess, 10000);
    }
    ~CEndedProcess()
    {
        if (m_process.hProcess) {
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
        }
    }
    CEndedProcess(const CEndedProcess&) = delete;
    CEndedProcess& operator=(const CEndedProcess&) = delete;
    DWORD Id() const { return m_process.dwProcessId; }

private:
    PROCESS_INFORMATION m_process = {};
};

// Stand-ins for the check of the places.
bool NeverMovable(const wchar_t*, CStr*)
{
    return false;
}

bool AlwaysMovable(const wchar_t* path, CStr* where)
{
    if (where)
        where->Assign(path);
    return true;
}

// Movable where the path runs through a folder named "movable".
bool MovableBelowMovable(const wchar_t* path, CStr* where)
{
    const wchar_t* found = wcsstr(path, L"\\movable");
    if (where && found)
        where->Assign(path);
    return found != nullptr;
}

// The batch's folder goes only where no one but administrators could move
// it or a folder above it; where no place is such, no batch runs.
TEST(SelfRemovalPlaceTest, AMovablePlaceIsPassedOver)
{
    CTempFolder root;
    std::wstring movable = root.Path(L"movable"), safe = root.Path(L"safe");
    ASSERT_TRUE(CreateDirectoryW(movable.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(safe.c_str(), nullptr));
    const wchar_t* bases[] = {movable.c_str(), safe.c_str()};
    TSelfRemovalSystem system = {bases, 2, MovableBelowMovable, 437};
    TStrStatic<MAX_PATH> folder;
    ASSERT_TRUE(CreateSafeSelfRemovalFolder(system, 0x42, folder));
    EXPECT_EQ(safe + L"\\kx2uninstall-00000042-0", folder.GetString());
    EXPECT_TRUE(IsEmptyFolder(movable)) << "nothing made in the movable place";

    // Both safe: the first.
    system.isMovable = NeverMovable;
    ASSERT_TRUE(CreateSafeSelfRemovalFolder(system, 0x42, folder));
    EXPECT_EQ(movable + L"\\kx2uninstall-00000042-0", folder.GetString());
    // A place that does not exist is passed over too.
    std::wstring missing = root.Path(L"missing");
    const wchar_t* missingFirst[] = {L"", missing.c_str(), safe.c_str()};
    TSelfRemovalSystem second = {missingFirst, 3, NeverMovable, 437};
    ASSERT_TRUE(CreateSafeSelfRemovalFolder(second, 0x43, folder));
    EXPECT_EQ(safe + L"\\kx2uninstall-00000043-0", folder.GetString());
}

TEST(SelfRemovalPlaceTest, NoSafePlaceNoBatch)
{
    CTempFolder root;
    std::wstring movable = root.Path(L"movable"), other = root.Path(L"other");
    std::wstring folder = root.Path(L"Kestrel Trader"), uninstaller = folder + L"\\Uninstall.exe";
    for (const std::wstring& path : {movable, other, folder})
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\setup.exe").c_str(), uninstaller.c_str(), FALSE));
    SetupFolder.Assign(folder.c_str());
    const wchar_t* bases[] = {movable.c_str(), other.c_str()};
    TSelfRemovalSystem system = {bases, 2, AlwaysMovable, 437};
    TStrStatic<MAX_PATH> made;
    EXPECT_FALSE(CreateSafeSelfRemovalFolder(system, 7, made));
    // The uninstaller's own process has ended: only a batch could go on.
    CEndedProcess ended;
    ASSERT_NE(0u, ended.Id());
    EXPECT_FALSE(StartSelfRemoval(system, uninstaller.c_str(), ended.Id(), folder.c_str(), FolderRemoval::Whole));
    EXPECT_TRUE(IsEmptyFolder(movable));
    EXPECT_TRUE(IsEmptyFolder(other));
    EXPECT_TRUE(Exists(uninstaller)) << "the lesser harm: the uninstaller stays";
}

TEST(SelfRemovalPlaceTest, NoBatchForAnUninstallerItCannotName)
{
    CTempFolder root;
    const wchar_t* bases[] = {root.Root().c_str()};
    TSelfRemovalSystem system = {bases, 1, NeverMovable, 437};
    std::wstring folder = root.Path(L"\x4E2D");
    SetupFolder.Assign(folder.c_str());
    EXPECT_FALSE(StartSelfRemoval(system, (folder + L"\\Uninstall.exe").c_str(), GetCurrentProcessId(),
                                  folder.c_str(), FolderRemoval::Whole));
    EXPECT_TRUE(IsEmptyFolder(root.Root())) << "no batch that would only delete itself";
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
    // The batch goes into the test's folder.
    const wchar_t* bases[] = {root.Root().c_str()};
    TSelfRemovalSystem system = {bases, 1, NeverMovable, GetOEMCP()};

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
    ASSERT_TRUE(StartSelfRemoval(system, uninstaller.c_str(), standIn.dwProcessId, folder.c_str(), removal));
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
    SetupFolder.Assign(folder.c_str());
    CEndedProcess ended;
    ASSERT_NE(0u, ended.Id());
    // The program's own places and their check: the system's temporary
    // folder is one no one else may rename.
    TStrStatic<MAX_PATH> windowsTemp, commonData;
    GetSelfRemovalBases(windowsTemp, commonData);
    std::set<std::wstring> before = BatchFolders(windowsTemp.GetString());
    ASSERT_TRUE(StartSelfRemoval(uninstaller.c_str(), ended.Id(), folder.c_str(), FolderRemoval::IfEmpty));
    std::wstring batchFolder;
    for (const std::wstring& found : BatchFolders(windowsTemp.GetString()))
        if (!before.count(found))
            batchFolder = found;
    EXPECT_FALSE(batchFolder.empty()) << "the batch lies in the Windows temporary folder";
    DWORD start = GetTickCount();
    while ((Exists(folder) || Exists(batchFolder + L"\\uninstall.bat")) && GetTickCount() - start < 20000)
        Sleep(100);
    EXPECT_FALSE(Exists(folder)) << "nothing left in it: the folder goes";
    // What Wine's cmd leaves for the restart.
    if (!batchFolder.empty())
        RemoveDirectoryW(batchFolder.c_str());
}

INSTANTIATE_TEST_SUITE_P(EachFolderRemoval, SelfRemovalRunTest,
                         ::testing::Values(FolderRemoval::Keep, FolderRemoval::IfEmpty, FolderRemoval::Whole));

// cmd's default for delayed expansion set for the user, as the registry
// allows, and put back afterwards.
class CDelayedExpansionDefault {
public:
    CDelayedExpansionDefault()
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, KEY, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &m_key,
                            &m_disposition) != ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        m_hadValue = RegQueryValueExW(m_key, VALUE, nullptr, &m_type, m_old, &m_oldSize) == ERROR_SUCCESS;
        DWORD on = 1;
        m_set = RegSetValueExW(m_key, VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof(on)) ==
                ERROR_SUCCESS;
    }
    ~CDelayedExpansionDefault()
    {
        if (!m_key)
            return;
        if (m_hadValue)
            RegSetValueExW(m_key, VALUE, 0, m_type, m_old, m_oldSize);
        else
            RegDeleteValueW(m_key, VALUE);
        RegCloseKey(m_key);
        if (m_disposition == REG_CREATED_NEW_KEY)
            RegDeleteKeyW(HKEY_CURRENT_USER, KEY);
    }
    CDelayedExpansionDefault(const CDelayedExpansionDefault&) = delete;
    CDelayedExpansionDefault& operator=(const CDelayedExpansionDefault&) = delete;
    bool IsSet() const { return m_set; }

private:
    static constexpr const wchar_t* KEY = L"Software\\Microsoft\\Command Processor";
    static constexpr const wchar_t* VALUE = L"DelayedExpansion";
    HKEY m_key = nullptr;
    DWORD m_disposition = 0;
    bool m_hadValue = false;
    bool m_set = false;
    DWORD m_type = 0;
    BYTE m_old[256];
    DWORD m_oldSize = sizeof(m_old);
};

// An installation folder whose name holds "!", and the folder cmd would
// take for it with delayed expansion on.
struct TBangCase {
    const wchar_t* folder;
    const wchar_t* decoy;
};

void PrintTo(const TBangCase& bang, std::ostream* out)
{
    *out << testing::PrintToString(std::wstring(bang.folder));
}

class SelfRemovalDelayedExpansionTest : public ::testing::TestWithParam<TBangCase> {};

// The real batch and command line with delayed expansion on by default.
// Wine's cmd does not read the registry's default: there "/V:ON" ahead of
// the program's own switches stands for it, as the later switch wins.
TEST_P(SelfRemovalDelayedExpansionTest, ExclamationMarksStayAsTheyAre)
{
    CTempFolder root;
    std::wstring folder = root.Path(GetParam().folder), decoy = root.Path(GetParam().decoy);
    std::wstring uninstaller = folder + L"\\Uninstall.exe", batchFolder = root.Path(L"batch");
    std::wstring batch = batchFolder + L"\\uninstall.bat";
    for (const std::wstring& path : {folder, decoy, batchFolder})
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\setup.exe").c_str(), uninstaller.c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(decoy + L"\\keep.txt", {'k'}));

    CEndedProcess ended;
    ASSERT_NE(0u, ended.Id());
    char text[4096];
    size_t length = BuildSelfRemovalBatch(uninstaller.c_str(), ended.Id(), batch.c_str(), folder.c_str(),
                                          FolderRemoval::Whole, folder.c_str(), GetOEMCP(), text, sizeof(text));
    ASSERT_GT(length, 0u);
    ASSERT_TRUE(WriteBytes(batch, ByteVector(text, text + length)));
    TStrStatic<MAX_PATH> cmd;
    TStrStatic<3 * MAX_PATH> built;
    ASSERT_TRUE(BuildSelfRemovalCommand(batch.c_str(), cmd, built));
    std::wstring line = built.GetString();
    ASSERT_EQ(L'"', line[0]);
    line.insert(line.find(L'"', 1) + 1, L" /V:ON");

    PROCESS_INFORMATION run = {};
    {
        CDelayedExpansionDefault delayed;
        ASSERT_TRUE(delayed.IsSet());
        // cmd's environment names the decoy as "HOMEPATH".
        wchar_t homePath[MAX_PATH] = L"";
        DWORD homeLength = GetEnvironmentVariableW(L"HOMEPATH", homePath, MAX_PATH);
        SetEnvironmentVariableW(L"HOMEPATH", GetParam().decoy);
        STARTUPINFOW startup = {sizeof(startup)};
        BOOL started = CreateProcessW(cmd, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                      &startup, &run);
        SetEnvironmentVariableW(L"HOMEPATH", homeLength > 0 && homeLength < MAX_PATH ? homePath : nullptr);
        ASSERT_TRUE(started);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run.hProcess, 20000));
    }
    CloseHandle(run.hProcess);
    CloseHandle(run.hThread);

    EXPECT_FALSE(Exists(folder)) << "the folder named with \"!\" goes";
    EXPECT_TRUE(Exists(decoy + L"\\keep.txt")) << "the folder cmd would otherwise have taken stays";
}

INSTANTIATE_TEST_SUITE_P(BangNames, SelfRemovalDelayedExpansionTest,
                         ::testing::Values(TBangCase{L"Wow!", L"Wow"}, TBangCase{L"!HOMEPATH!", L"KxDecoy"}));

} // namespace
