// Folder helpers, the program-group removal and the delayed-deletion rule.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "base/FileSystem.h"
#include "base/Str.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"

namespace {

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(FileSystemTest, CreateFolderTree)
{
    CTempFolder root;
    EXPECT_TRUE(CreateFolderTree(root.Path(L"a\\b\\c").c_str()));
    EXPECT_TRUE(Exists(root.Path(L"a\\b\\c")));
    EXPECT_TRUE(CreateFolderTree(root.Path(L"a\\b").c_str())); // exists already

    // A file in the way counts as present; the folder below it cannot be made.
    ASSERT_TRUE(WriteBytes(root.Path(L"file"), {1}));
    EXPECT_FALSE(CreateFolderTree(root.Path(L"file\\sub").c_str()));
    EXPECT_TRUE(CreateFolderTree(root.Path(L"file").c_str()));

    // Paths that begin with a backslash: the empty first prefix cannot be made.
    EXPECT_FALSE(CreateFolderTree(L"\\\\kxserver\\share\\folder"));
    EXPECT_FALSE(CreateFolderTree(L"\\kx-not-there\\folder"));
    EXPECT_FALSE(CreateFolderTree(nullptr));
}

TEST(FileSystemTest, EnsureFolder)
{
    CTempFolder root;
    // Two new levels, written with a trailing backslash.
    std::wstring path = root.Path(L"upper\\lower\\");
    EXPECT_TRUE(EnsureFolder(path.c_str()));
    EXPECT_TRUE(Exists(root.Path(L"upper\\lower")));
    EXPECT_TRUE(EnsureFolder(root.Path(L"upper").c_str()));
    EXPECT_TRUE(EnsureFolder(root.Path(L"one\\two\\three\\four").c_str()));
    ASSERT_TRUE(WriteBytes(root.Path(L"file"), {1}));
    EXPECT_FALSE(EnsureFolder(root.Path(L"file\\sub").c_str()));
    EXPECT_FALSE(EnsureFolder(nullptr));
}

TEST(FileSystemTest, DeleteFolderTreeCountsWhatItHandled)
{
    CTempFolder root;
    std::wstring tree = root.Path(L"tree");
    ASSERT_TRUE(EnsureFolder((tree + L"\\sub\\readonly").c_str()));
    ASSERT_TRUE(WriteBytes(tree + L"\\a.txt", {1}));
    ASSERT_TRUE(WriteBytes(tree + L"\\sub\\b.txt", {1}));
    ASSERT_TRUE(WriteBytes(tree + L"\\sub\\readonly\\c.txt", {1}));
    SetFileAttributesW((tree + L"\\sub\\readonly").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
    // A file in use cannot be deleted, but it counts.
    ASSERT_TRUE(WriteBytes(tree + L"\\busy.txt", {1}));
    HANDLE busy = CreateFileW((tree + L"\\busy.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, busy);

    unsigned count = DeleteFolderTree(tree.c_str(), L"*.*", true, true);
    // a, busy, b, c; the read-only folder was recursed into; sub removed,
    // readonly removed or not as the file system allows, tree kept (busy).
    EXPECT_GE(count, 5u);
    EXPECT_FALSE(Exists(tree + L"\\sub\\readonly\\c.txt"));
    EXPECT_FALSE(Exists(tree + L"\\sub\\b.txt"));
    EXPECT_TRUE(Exists(tree + L"\\busy.txt"));
    CloseHandle(busy);
    EXPECT_GE(DeleteFolderTree(tree.c_str(), L"*.*", true, true), 2u); // busy.txt and the folder
    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ(0u, DeleteFolderTree(nullptr, L"*.*", true, true));
}

TEST(FileSystemTest, JoinPathInside)
{
    TStrStatic<MAX_PATH> out;
    EXPECT_TRUE(JoinPathInside(L"C:\\Start\\Programs", L"Kestrel\\Tools", out));
    EXPECT_STREQ(L"C:\\Start\\Programs\\Kestrel\\Tools", out.GetString());
    EXPECT_TRUE(JoinPathInside(L"C:\\Start\\Programs\\", L"a/b.c", out));
    EXPECT_STREQ(L"C:\\Start\\Programs\\a\\b.c", out.GetString());
    for (const wchar_t* bad : {L"..", L".", L"...", L". .", L"a\\..", L"a\\..\\..\\x", L"a\\.\\b", L"a\\\\b",
                               L"\\x", L"/x", L"C:x", L"a:b", L""})
        EXPECT_FALSE(JoinPathInside(L"C:\\Start\\Programs", bad, out)) << testing::PrintToString(std::wstring(bad));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_FALSE(JoinPathInside(L"C:\\Start\\Programs", std::wstring(300, L'n').c_str(), out));
}

TEST(FileSystemTest, DelayedDeletionRule)
{
    const wchar_t* setup = L"C:\\Program Files\\Kestrel";
    EXPECT_TRUE(MayDeleteAtRestart(L"D:\\x.tmp", setup));
    EXPECT_FALSE(MayDeleteAtRestart(L"C:\\Program Files", setup));        // a beginning of it
    EXPECT_FALSE(MayDeleteAtRestart(L"C:\\Program Files\\Kestrel", setup)); // not shorter
    EXPECT_FALSE(MayDeleteAtRestart(L"C:\\Program Files\\Kestrel\\app.exe", setup));
    EXPECT_TRUE(MayDeleteAtRestart(L"c:\\program files", setup));         // compared with case
    EXPECT_FALSE(MayDeleteAtRestart(nullptr, setup));
}

TEST(FileSystemTest, IconLocationFromTheRegistry)
{
    // A file type whose DefaultIcon holds no comma: nothing is found.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CLASSES_ROOT, L".kxnocomma", &key));
    RegSetValueW(key, nullptr, REG_SZ, L"kxnocommafile", 13 * 2);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CLASSES_ROOT, L"kxnocommafile\\DefaultIcon", &key));
    RegSetValueW(key, nullptr, REG_SZ, L"%1", 2 * 2);
    RegCloseKey(key);
    wchar_t iconFile[256] = L"previous";
    int index = 7;
    GetIconLocation(L"C:\\nowhere\\file.kxnocomma", iconFile, &index);
    EXPECT_EQ(-1, index);
    EXPECT_STREQ(L"", iconFile);

    // An executable has its own icon.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    GetIconLocation((std::wstring(system) + L"\\notepad.exe").c_str(), iconFile, &index);
    EXPECT_STRNE(L"", iconFile);
    EXPECT_GE(index, 0);
    GetIconLocation(nullptr, iconFile, &index); // nothing happens
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"kxnocommafile\\DefaultIcon");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"kxnocommafile");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L".kxnocomma");
}

TEST(FileSystemTest, SystemErrorText)
{
    wchar_t text[512];
    FormatSystemError(ERROR_FILE_NOT_FOUND, text, 512);
    EXPECT_NE(nullptr, wcsstr(text, L"ile")) << text; // "The system cannot find the file...", "File not found."
    FormatSystemError(0x2BADBEEF, text, 512);
    EXPECT_STREQ(L"Error 732806895 (0x2BADBEEF).", text);
    wchar_t small[8];
    FormatSystemError(0x2BADBEEF, small, 8);
    EXPECT_EQ(7u, wcslen(small));
}

} // namespace
