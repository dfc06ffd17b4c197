#include "base/ChildProcess.h"

#include <gtest/gtest.h>

#include "base/Str.h"
#include "support/TempFolder.h"

namespace {

TEST(ChildProcessTest, RunsInTheFolderItIsGiven)
{
    // The child writes a file by a relative name: it lands in its current
    // folder, which must be the one given, not the parent's.
    CTempFolder folder;
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    TStrStatic<2 * MAX_PATH> commandLine;
    commandLine.Format(L"\"%s\\cmd.exe\" /D /C echo here> kxchild.txt", system);
    ASSERT_TRUE(RunAndWait(commandLine, folder.Root().c_str(), 20000));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.Path(L"kxchild.txt").c_str()));
    DeleteFileW(L"kxchild.txt");
}

} // namespace
