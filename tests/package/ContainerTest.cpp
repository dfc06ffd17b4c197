// Reading and writing containers: the loop over containers, the record
// rules, lookups and byte-exact rewriting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "archive/ArchiveSource.h"
#include "base/BinFile.h"
#include "package/ContainerWriter.h"
#include "package/InstallPackage.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"

namespace {

class ContainerTest : public ::testing::Test {
protected:
    // Writes the program file and loads it.
    bool Load(const std::vector<ByteVector>& containers)
    {
        return LoadBytes(ProgramFile(containers));
    }
    bool LoadBytes(const ByteVector& file)
    {
        std::wstring path = m_folder.Path(L"program.exe");
        EXPECT_TRUE(WriteBytes(path, file));
        return m_package.Load(path.c_str());
    }

    // A record's text: from memory, or, for a program archive, from the file.
    std::string RecordText(const CDCContainer* container, uint32_t id) const
    {
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        if (container && container->FindRecord(id, &data, &size))
            return std::string(reinterpret_cast<const char*>(data), size);
        TArchiveSpan span;
        CArchiveReader reader;
        if (id != RECORD_ARCHIVE || !GetArchiveSpan(m_package, container, span) || !reader.Open(span))
            return "<none>";
        std::string text(static_cast<size_t>(span.size), '\0');
        if (!reader.ReadAt(0, reinterpret_cast<uint8_t*>(&text[0]), static_cast<uint32_t>(text.size())))
            return "<unreadable>";
        return text;
    }

    CTempFolder m_folder;
    InstallPackage m_package;
};

ByteVector Data(const char* text)
{
    return ByteVector(text, text + strlen(text));
}

ByteVector License()
{
    return ContainerBytes(CONTAINER_LICENSE, {{7, Data("licence")}});
}

ByteVector Core(const char* archive = "core archive")
{
    return ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, Data(archive)}});
}

TEST_F(ContainerTest, ProgramArchivesStayInTheFile)
{
    // The core and custom archives are located, not read; every other record
    // is in memory, the archive id in other containers included.
    ByteVector custom = ContainerBytes(CONTAINER_CUSTOM, {{RECORD_ARCHIVE, Data("custom")}, {9, Data("nine")}});
    ByteVector license = ContainerBytes(CONTAINER_LICENSE, {{RECORD_ARCHIVE, Data("not a program archive")}});
    ASSERT_TRUE(Load({license, Core("the core archive"), custom}));
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    EXPECT_FALSE(m_package.m_pCore->FindRecord(RECORD_ARCHIVE, &data, &size));
    uint64_t offset = 0;
    ASSERT_TRUE(m_package.m_pCore->FindRecordInFile(RECORD_ARCHIVE, &offset, &size));
    EXPECT_EQ(16u, size);
    EXPECT_EQ("the core archive", RecordText(m_package.m_pCore, RECORD_ARCHIVE));
    EXPECT_EQ("custom", RecordText(m_package.m_pCustom, RECORD_ARCHIVE));
    EXPECT_EQ("nine", RecordText(m_package.m_pCustom, 9));
    EXPECT_TRUE(m_package.m_pLicense->FindRecord(RECORD_ARCHIVE, &data, &size));
    EXPECT_FALSE(m_package.m_pLicense->FindRecordInFile(RECORD_ARCHIVE, &offset, &size));
    EXPECT_EQ(m_folder.Path(L"program.exe"), m_package.GetPath().GetString());

    // Read back from any position, piece by piece, as the extraction reads.
    TArchiveSpan span;
    ASSERT_TRUE(GetArchiveSpan(m_package, m_package.m_pCore, span));
    CArchiveReader reader;
    ASSERT_TRUE(reader.Open(span));
    char piece[7] = {};
    ASSERT_TRUE(reader.ReadAt(4, reinterpret_cast<uint8_t*>(piece), 4));
    EXPECT_STREQ("core", piece);
    ASSERT_TRUE(reader.ReadAt(8, reinterpret_cast<uint8_t*>(piece), 6));
    EXPECT_STREQ(" archi", piece);
    SetLastError(0);
    EXPECT_FALSE(reader.ReadAt(10, reinterpret_cast<uint8_t*>(piece), 7)) << "past the archive's end";
    EXPECT_EQ(static_cast<DWORD>(ERROR_HANDLE_EOF), GetLastError());
}

TEST_F(ContainerTest, WhichContainersMakeAPackage)
{
    ByteVector uninstall = ContainerBytes(CONTAINER_UNINSTALL, {{RECORD_UNINSTALL_LIST, Data("list")}});
    ByteVector custom = ContainerBytes(CONTAINER_CUSTOM, {{RECORD_ARCHIVE, Data("custom")}});

    ASSERT_TRUE(Load({License(), Core(), custom}));
    EXPECT_FALSE(m_package.IsUninstallMode());
    EXPECT_EQ("custom", RecordText(m_package.m_pCustom, RECORD_ARCHIVE));

    // The order of containers is free.
    ASSERT_TRUE(Load({uninstall, License()}));
    EXPECT_TRUE(m_package.IsUninstallMode());
    EXPECT_EQ(nullptr, m_package.m_pCore);

    EXPECT_FALSE(Load({License(), custom}));
    EXPECT_FALSE(Load({Core()}));
    EXPECT_FALSE(Load({}));
}

TEST_F(ContainerTest, InvalidHeaderEndsTheLoopKeepingEarlierContainers)
{
    ContainerOptions noTime;
    noTime.created = 0;
    ContainerOptions tooMany;
    tooMany.recordCount = 101;
    const ByteVector stoppers[] = {
        ContainerBytes(9, {{RECORD_ARCHIVE, Data("x")}}),
        ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, Data("x")}}, tooMany),
        ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, Data("x")}}, noTime),
    };
    for (const auto& stopper : stoppers) {
        // Licence and core before the stopper load; a core behind it is never read.
        EXPECT_TRUE(Load({License(), Core("first"), stopper, Core("second")}));
        EXPECT_EQ("first", RecordText(m_package.m_pCore, RECORD_ARCHIVE));
        EXPECT_FALSE(Load({License(), stopper, Core()}));
        EXPECT_NE(nullptr, m_package.m_pLicense);
    }
}

TEST_F(ContainerTest, UnknownTypesAreSkippedAndLaterContainersReplaceEarlier)
{
    ByteVector type5 = ContainerBytes(5, {{RECORD_ARCHIVE, Data("five")}});
    ASSERT_TRUE(Load({License(), type5, Core("behind")}));
    EXPECT_EQ("behind", RecordText(m_package.m_pCore, RECORD_ARCHIVE));

    ASSERT_TRUE(Load({License(), Core("old"), Core("new")}));
    EXPECT_EQ("new", RecordText(m_package.m_pCore, RECORD_ARCHIVE));
}

TEST_F(ContainerTest, PackageOffsetAndTrailingBytes)
{
    ByteVector file = ProgramFile({License(), Core()});
    // Trailing bytes after the last container are ignored.
    ByteVector trailing = file;
    trailing.insert(trailing.end(), 40, 0xAB);
    EXPECT_TRUE(LoadBytes(trailing));

    // Offset 0: the DOS header is read as a container header and fails.
    ByteVector zeroOffset = file;
    memset(&zeroOffset[PACKAGE_OFFSET_FIELD], 0, 4);
    EXPECT_FALSE(LoadBytes(zeroOffset));

    // Shorter than a DOS header; an offset far past the end.
    EXPECT_FALSE(LoadBytes(ByteVector(file.begin(), file.begin() + 63)));
    ByteVector farOffset = file;
    uint32_t pastEnd = 0x7FFFFFF0;
    memcpy(&farOffset[PACKAGE_OFFSET_FIELD], &pastEnd, 4);
    EXPECT_FALSE(LoadBytes(farOffset));
    EXPECT_FALSE(m_package.Load(m_folder.Path(L"missing.exe").c_str()));
}

TEST_F(ContainerTest, UnreadableRecordsAreSkipped)
{
    // A record whose size runs past the end: it and everything after it are
    // skipped, the container itself stands with the records before it.
    ByteVector core = ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, Data("kept")}, {9, Data("cut")}});
    uint32_t huge = 0xFFFFFFF0;
    memcpy(&core[core.size() - 3 - 4], &huge, 4);
    ASSERT_TRUE(Load({License(), core}));
    EXPECT_EQ(1u, m_package.m_pCore->GetRecordCount());
    EXPECT_EQ("kept", RecordText(m_package.m_pCore, RECORD_ARCHIVE));

    // A record of size 0 stands as an empty entry that no lookup finds.
    ByteVector withEmpty = ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, {}}, {RECORD_ARCHIVE, Data("real")}});
    ASSERT_TRUE(Load({License(), withEmpty}));
    EXPECT_EQ(2u, m_package.m_pCore->GetRecordCount());
    EXPECT_EQ(0u, m_package.m_pCore->GetRecord(0)->id);
    EXPECT_EQ("real", RecordText(m_package.m_pCore, RECORD_ARCHIVE));
}

TEST_F(ContainerTest, FindRecordReturnsTheFirstOfTwo)
{
    ByteVector core = ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, Data("first")}, {RECORD_ARCHIVE, Data("second")}});
    ASSERT_TRUE(Load({License(), core}));
    EXPECT_EQ("first", RecordText(m_package.m_pCore, RECORD_ARCHIVE));
    EXPECT_EQ("<none>", RecordText(m_package.m_pCore, 77));
}

TEST_F(ContainerTest, ReadContainerIsWrittenBackByteForByte)
{
    ByteVector license = ContainerBytes(CONTAINER_LICENSE, {{1, Data("configuration")}, {10, Data("signature")}, {42, Data("other id travels too")}});
    ASSERT_TRUE(Load({license, Core()}));

    std::wstring copy = m_folder.Path(L"copy.bin");
    CBinFile file;
    ASSERT_TRUE(file.OpenWrite(copy.c_str()));
    ASSERT_TRUE(m_package.m_pLicense->Write(file));
    file.Close();
    ByteVector written;
    ASSERT_TRUE(ReadBytes(copy, written));
    EXPECT_EQ(license, written);
}

TEST_F(ContainerTest, WritingNeedsRecords)
{
    std::wstring path = m_folder.Path(L"empty.bin");
    CBinFile file;
    ASSERT_TRUE(file.OpenWrite(path.c_str()));
    CTermUninstContainer container;
    ASSERT_TRUE(container.Init(CONTAINER_UNINSTALL));
    EXPECT_FALSE(container.Write(file));
    EXPECT_EQ(0u, file.GetSize());

    // An empty entry (null data) cannot be written either.
    EXPECT_TRUE(container.AddRecord(RECORD_UNINSTALL_LIST, nullptr, 0));
    EXPECT_FALSE(container.Write(file));
}

TEST_F(ContainerTest, NewContainerWrittenAndReadBack)
{
    CTermUninstContainer container;
    ASSERT_TRUE(container.Init(CONTAINER_UNINSTALL));
    EXPECT_NE(0, container.GetHeader().created);
    ByteVector list(2 * UNINSTALL_SLOT_BYTES, 0x41);
    ASSERT_TRUE(container.AddRecord(RECORD_UNINSTALL_LIST, list.data(), static_cast<uint32_t>(list.size())));
    EXPECT_EQ(1, container.GetHeader().recordCount);

    // Behind an image and a licence container, as the uninstaller is written.
    std::wstring path = m_folder.Path(L"Uninstall.exe");
    ASSERT_TRUE(WriteBytes(path, ProgramFile({License()})));
    CBinFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    ASSERT_NE(-1, file.Seek(0, FILE_END));
    ASSERT_TRUE(container.Write(file));
    file.Close();

    ASSERT_TRUE(m_package.Load(path.c_str()));
    ASSERT_TRUE(m_package.IsUninstallMode());
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(m_package.m_pUninstall->FindRecord(RECORD_UNINSTALL_LIST, &data, &size));
    EXPECT_EQ(list, ByteVector(data, data + size));
}

// The bytes of a file, the container's creation time set to `created`.
ByteVector WrittenWithTime(const std::wstring& path, int64_t created)
{
    ByteVector bytes;
    EXPECT_TRUE(ReadBytes(path, bytes));
    if (bytes.size() >= sizeof(ContainerHeader))
        memcpy(bytes.data() + offsetof(ContainerHeader, created), &created, sizeof(created));
    return bytes;
}

TEST_F(ContainerTest, ContainerWrittenInPiecesIsTheSameAsWrittenWhole)
{
    // Odd sizes and pieces that cross the key's 16-byte period.
    ByteVector first(1000 + 7), second(3);
    for (size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<uint8_t>(i * 13 + 5);
    second = {9, 8, 7};
    CTermUninstContainer whole;
    ASSERT_TRUE(whole.Init(CONTAINER_UNINSTALL));
    ASSERT_TRUE(whole.AddRecord(6, first.data(), static_cast<uint32_t>(first.size())));
    ASSERT_TRUE(whole.AddRecord(7, second.data(), static_cast<uint32_t>(second.size())));
    std::wstring wholePath = m_folder.Path(L"whole.bin"), piecesPath = m_folder.Path(L"pieces.bin");
    CBinFile file;
    ASSERT_TRUE(file.OpenWrite(wholePath.c_str()));
    ASSERT_TRUE(whole.Write(file));
    file.Close();

    ASSERT_TRUE(file.OpenWrite(piecesPath.c_str()));
    {
        CContainerWriter writer(file);
        ASSERT_TRUE(writer.Begin(CONTAINER_UNINSTALL, 2));
        ASSERT_TRUE(writer.BeginRecord(6, static_cast<uint32_t>(first.size())));
        ByteVector copy = first;
        for (uint32_t at = 0, piece = 1; at < copy.size(); at += piece, piece += 17) {
            piece = std::min<uint32_t>(piece, static_cast<uint32_t>(copy.size()) - at);
            ASSERT_TRUE(writer.WritePiece(copy.data() + at, piece));
        }
        EXPECT_FALSE(writer.End()); // one record still to come
        ByteVector copy2 = second;
        ASSERT_TRUE(writer.BeginRecord(7, 3));
        ASSERT_TRUE(writer.WritePiece(copy2.data(), 3));
        EXPECT_TRUE(writer.End());
    }
    file.Close();
    EXPECT_EQ(WrittenWithTime(wholePath, 1), WrittenWithTime(piecesPath, 1));
}

TEST_F(ContainerTest, ContainerWriterRefusesWhatWouldNotReadBack)
{
    std::wstring path = m_folder.Path(L"bad.bin");
    CBinFile file;
    ASSERT_TRUE(file.OpenWrite(path.c_str()));
    uint8_t data[8] = {};
    {
        // More bytes than the record announced.
        CContainerWriter writer(file);
        ASSERT_TRUE(writer.Begin(CONTAINER_UNINSTALL, 1));
        ASSERT_TRUE(writer.BeginRecord(6, 4));
        EXPECT_FALSE(writer.WritePiece(data, 5));
        EXPECT_FALSE(writer.WritePiece(data, 4)); // a failure stays
        EXPECT_FALSE(writer.End());
    }
    {
        // The next record before the last is whole; more records than announced.
        CContainerWriter writer(file);
        ASSERT_TRUE(writer.Begin(CONTAINER_UNINSTALL, 2));
        ASSERT_TRUE(writer.BeginRecord(6, 4));
        ASSERT_TRUE(writer.WritePiece(data, 3));
        EXPECT_FALSE(writer.BeginRecord(7, 4));
    }
    {
        CContainerWriter writer(file);
        ASSERT_TRUE(writer.Begin(CONTAINER_UNINSTALL, 1));
        ASSERT_TRUE(writer.BeginRecord(6, 1));
        ASSERT_TRUE(writer.WritePiece(data, 1));
        EXPECT_FALSE(writer.BeginRecord(7, 1));
        EXPECT_FALSE(writer.End());
    }
    {
        // No records at all, or more than a container holds.
        CContainerWriter none(file), many(file);
        EXPECT_FALSE(none.Begin(CONTAINER_UNINSTALL, 0));
        EXPECT_FALSE(many.Begin(CONTAINER_UNINSTALL, CONTAINER_MAX_RECORDS + 1));
    }
}

TEST(DescrambleTest, Sse2AndScalarAgreeInThe32BitBuild)
{
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    ByteVector stored(1000 + 13);
    for (size_t i = 0; i < stored.size(); ++i)
        stored[i] = static_cast<uint8_t>(i * 7 + (i >> 3));
    ByteVector scalar = stored, sse2 = stored;
    DescrambleRecordWith(ScrambleCode::Scalar, scalar.data(), static_cast<ptrdiff_t>(scalar.size()), key);
    DescrambleRecordWith(ScrambleCode::Sse2, sse2.data(), static_cast<ptrdiff_t>(sse2.size()), key);
    EXPECT_EQ(scalar, sse2);
    ScrambleRecord(scalar.data(), static_cast<ptrdiff_t>(scalar.size()), key);
    EXPECT_EQ(stored, scalar);
}

} // namespace
