#include "base/BinFile.h"

#include <gtest/gtest.h>

#include "support/TempFolder.h"

namespace {

TEST(BinFileTest, ZeroByteTransfersDoNothing)
{
    CTempFolder folder;
    CBinFile file;
    ASSERT_TRUE(file.OpenWrite(folder.Path(L"zero.bin").c_str()));
    char byte = 'x';
    EXPECT_EQ(0u, file.Write(&byte, 0));
    EXPECT_EQ(0u, file.Write(nullptr, 1));
    EXPECT_EQ(0u, file.Read(&byte, 0));
    EXPECT_EQ(0u, file.GetSize());

    CBinFile closed;
    EXPECT_EQ(0u, closed.Read(&byte, 1));
    EXPECT_EQ(0u, closed.Write(&byte, 1));
    EXPECT_EQ(-1, closed.Seek(0, FILE_BEGIN));
    EXPECT_EQ(0u, closed.GetSize());
    EXPECT_TRUE(closed.Close());
}

TEST(BinFileTest, WriteReadAndSeek)
{
    CTempFolder folder;
    std::wstring path = folder.Path(L"data.bin");
    CBinFile file;
    ASSERT_TRUE(file.OpenWrite(path.c_str()));
    EXPECT_EQ(10u, file.Write("0123456789", 10));
    ASSERT_TRUE(file.OpenRead(path.c_str()));
    EXPECT_EQ(10u, file.GetSize());

    char buffer[16] = {};
    EXPECT_EQ(6, file.Seek(6, FILE_BEGIN));
    EXPECT_EQ(4u, file.Read(buffer, sizeof(buffer))); // short read: the caller judges
    EXPECT_STREQ("6789", buffer);
    EXPECT_EQ(8, file.Seek(-2, FILE_END));
    EXPECT_EQ(9, file.Seek(1, FILE_CURRENT));

    // Past the end: the position is taken, the next read gets nothing.
    EXPECT_EQ(1000, file.Seek(1000, FILE_BEGIN));
    EXPECT_EQ(0u, file.Read(buffer, 1));
    // Before the start: refused.
    EXPECT_EQ(-1, file.Seek(-1, FILE_BEGIN));
}

TEST(BinFileTest, OpenWriteTruncatesAndNeedsItsFolder)
{
    CTempFolder folder;
    std::wstring path = folder.Path(L"old.bin");
    CBinFile file;
    ASSERT_TRUE(file.OpenWrite(path.c_str()));
    ASSERT_EQ(5u, file.Write("hello", 5));
    ASSERT_TRUE(file.OpenWrite(path.c_str()));
    EXPECT_EQ(0u, file.GetSize());

    EXPECT_FALSE(file.OpenWrite(folder.Path(L"missing\\new.bin").c_str()));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.Path(L"missing").c_str()));
}

TEST(BinFileTest, ReopenClosesPreviousHandle)
{
    CTempFolder folder;
    std::wstring first = folder.Path(L"first.bin");
    CBinFile file;
    ASSERT_TRUE(file.OpenWrite(first.c_str()));

    // A failed open still closes the held file...
    EXPECT_FALSE(file.OpenRead(folder.Path(L"absent.bin").c_str()));
    EXPECT_FALSE(file.IsOpen());
    // ...so it can be deleted: no handle to it is left.
    EXPECT_TRUE(DeleteFileW(first.c_str()));

    ASSERT_TRUE(file.OpenWrite(first.c_str()));
    EXPECT_FALSE(file.Open(nullptr, GENERIC_READ, 0, OPEN_EXISTING, 0));
    EXPECT_TRUE(DeleteFileW(first.c_str()));
}

} // namespace
