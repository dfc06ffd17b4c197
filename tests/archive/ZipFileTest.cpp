// The ZIP reader's acceptance rules and limits.
#include <gtest/gtest.h>

#include "archive/ZipFile.h"
#include "support/TempFolder.h"
#include "support/TestZip.h"

namespace {

class ZipFileTest : public ::testing::Test {
protected:
    bool Open(const ByteVector& archive)
    {
        m_zip.CloseArchive();
        std::wstring path = m_folder.Path(L"test.zip");
        EXPECT_TRUE(WriteBytes(path, archive));
        return m_zip.OpenArchive(path.c_str());
    }
    std::wstring CurrentName(ZipEntryInfo* info = nullptr)
    {
        ZipEntryInfo local;
        wchar_t name[260];
        if (!m_zip.GetEntryInfo(info ? info : &local, name, 260))
            return L"<none>";
        return name;
    }
    ByteVector ReadAll(uint32_t size)
    {
        ByteVector data(size + 16);
        unsigned got = m_zip.ReadEntry(data.data(), static_cast<unsigned>(data.size()));
        data.resize(got);
        return data;
    }

    CTempFolder m_folder;
    CZipFile m_zip;
};

TEST_F(ZipFileTest, ListsAndReadsEntries)
{
    ByteVector text = Bytes(std::string(3000, 'x') + "end");
    ASSERT_TRUE(Open(MakeZip({{"bin/", {}}, {"bin/a.dll", text}, {"stored.txt", Bytes("plain"), 0}})));
    EXPECT_EQ(3u, m_zip.GetEntryCount());
    ZipEntryInfo info;
    EXPECT_EQ(L"bin/", CurrentName(&info));
    EXPECT_EQ(0u, info.uncompressedSize);
    ASSERT_TRUE(m_zip.GoToNextEntry());
    EXPECT_EQ(L"bin/a.dll", CurrentName(&info));
    EXPECT_EQ(8u, info.compressionMethod);
    EXPECT_EQ(text.size(), info.uncompressedSize);
    ASSERT_TRUE(m_zip.OpenEntry());
    // Asked for more than there is: the entry's size, then nothing.
    EXPECT_EQ(text, ReadAll(info.uncompressedSize));
    char more;
    EXPECT_EQ(0u, m_zip.ReadEntry(&more, 1));
    EXPECT_TRUE(m_zip.CloseEntry());
    EXPECT_FALSE(m_zip.CloseEntry()); // nothing open

    ASSERT_TRUE(m_zip.GoToNextEntry());
    ASSERT_TRUE(m_zip.OpenEntry());
    EXPECT_EQ(Bytes("plain"), ReadAll(5));
    // The last entry: the cursor stays on it.
    EXPECT_FALSE(m_zip.GoToNextEntry());
    EXPECT_EQ(L"stored.txt", CurrentName());
    ASSERT_TRUE(m_zip.GoToFirstEntry());
    EXPECT_EQ(L"bin/", CurrentName());
}

TEST_F(ZipFileTest, EndRecordSearchWindow)
{
    ZipTestOptions longest;
    longest.commentBytes = 65513;
    EXPECT_TRUE(Open(MakeZip({{"a.txt", Bytes("a")}}, longest)));
    ZipTestOptions tooLong;
    tooLong.commentBytes = 65514;
    EXPECT_FALSE(Open(MakeZip({{"a.txt", Bytes("a")}}, tooLong)));

    // An executable stub in front is tolerated through the offset correction.
    ZipTestOptions stub;
    stub.prefix = ByteVector(4096, 0x90);
    ASSERT_TRUE(Open(MakeZip({{"a.txt", Bytes("inside")}}, stub)));
    ASSERT_TRUE(m_zip.OpenEntry());
    EXPECT_EQ(Bytes("inside"), ReadAll(6));

    EXPECT_FALSE(Open(MakeZip({})));      // no entries
    EXPECT_FALSE(Open(Bytes("no archive at all")));
    EXPECT_FALSE(m_zip.OpenArchive(L""));
    EXPECT_FALSE(m_zip.OpenArchive(m_folder.Path(L"missing.zip").c_str()));
    ZipTestOptions broken;
    broken.brokenCentralHeader = 0;
    EXPECT_FALSE(Open(MakeZip({{"a.txt", Bytes("a")}}, broken)));
}

TEST_F(ZipFileTest, OnlyStoredAndDeflatedEntriesOpen)
{
    ASSERT_TRUE(Open(MakeZip({{"bzip2.bin", Bytes("BZh91AY&SY"), 12}, {"lzma.bin", Bytes("]\0\0"), 14}})));
    ZipEntryInfo info;
    EXPECT_EQ(L"bzip2.bin", CurrentName(&info)); // listed...
    EXPECT_EQ(12u, info.compressionMethod);
    EXPECT_FALSE(m_zip.OpenEntry());            // ...but not opened
    char byte;
    EXPECT_EQ(0u, m_zip.ReadEntry(&byte, 1));
    ASSERT_TRUE(m_zip.GoToNextEntry());
    EXPECT_FALSE(m_zip.OpenEntry());
}

TEST_F(ZipFileTest, DataDescriptorEntryOpens)
{
    ByteVector data = Bytes("written by a streaming tool");
    ZipTestEntry entry{"stream.txt", data};
    entry.dataDescriptor = true;
    ASSERT_TRUE(Open(MakeZip({entry})));
    ASSERT_TRUE(m_zip.OpenEntry());
    EXPECT_EQ(data, ReadAll(static_cast<uint32_t>(data.size())));
    EXPECT_TRUE(m_zip.CloseEntry());
}

TEST_F(ZipFileTest, LongNameIsCutTo255Characters)
{
    std::string name(300, 'n');
    ASSERT_TRUE(Open(MakeZip({{name, Bytes("x")}})));
    ZipEntryInfo info;
    std::wstring read = CurrentName(&info);
    EXPECT_EQ(300u, info.nameLength);
    EXPECT_EQ(std::wstring(255, L'n'), read);
    // A small buffer gets what fits with its terminator.
    wchar_t small[8];
    ASSERT_TRUE(m_zip.GetEntryInfo(&info, small, 8));
    EXPECT_STREQ(L"nnnnnnn", small);
}

TEST_F(ZipFileTest, CrcIsJudgedOnlyWhenEverythingWasRead)
{
    ZipTestEntry bad{"bad.txt", Bytes(std::string(1000, 'b'))};
    bad.badCrc = true;
    ASSERT_TRUE(Open(MakeZip({bad})));
    ASSERT_TRUE(m_zip.OpenEntry());
    char part[10];
    EXPECT_EQ(10u, m_zip.ReadEntry(part, 10));
    EXPECT_TRUE(m_zip.CloseEntry()); // partial read: no comparison

    ASSERT_TRUE(m_zip.OpenEntry());
    EXPECT_EQ(1000u, ReadAll(1000).size()); // the bytes still come out
    EXPECT_FALSE(m_zip.CloseEntry());
}

TEST_F(ZipFileTest, UnreadableNextHeaderInvalidatesTheCursor)
{
    ZipTestOptions broken;
    broken.brokenCentralHeader = 1;
    ASSERT_TRUE(Open(MakeZip({{"a", Bytes("1")}, {"b", Bytes("2")}, {"c", Bytes("3")}}, broken)));
    EXPECT_FALSE(m_zip.GoToNextEntry());
    EXPECT_FALSE(m_zip.OpenEntry());
    EXPECT_FALSE(m_zip.GoToNextEntry());
    EXPECT_TRUE(m_zip.GoToFirstEntry());
    EXPECT_EQ(L"a", CurrentName());
}

} // namespace
