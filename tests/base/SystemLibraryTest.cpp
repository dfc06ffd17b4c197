#include "base/SystemLibrary.h"

#include <gtest/gtest.h>

namespace {

// kxplanted.dll lies next to this test program, as a planted DLL would lie
// next to an installer in a Downloads folder. The restriction is process-wide
// and cannot be undone, so the whole story is one test.
TEST(SystemLibraryTest, PlantedDllIsNotLoadedOnceSearchIsRestricted)
{
    // Without the restriction the program's own folder is searched first.
    HMODULE planted = LoadLibraryW(L"kxplanted.dll");
    ASSERT_NE(nullptr, planted);
    FreeLibrary(planted);

    RestrictDllSearch();
    planted = LoadLibraryW(L"kxplanted.dll");
    EXPECT_EQ(nullptr, planted);
    if (planted)
        FreeLibrary(planted);

    // Loading by System32 path finds system DLLs and nothing else.
    CSystemLibrary library;
    EXPECT_FALSE(library.Load(L"kxplanted.dll"));
    ASSERT_TRUE(library.Load(L"psapi.dll"));
    EXPECT_NE(nullptr, library.GetProc("GetProcessImageFileNameW"));
    EXPECT_EQ(nullptr, library.GetProc("NoSuchFunction"));
}

} // namespace
