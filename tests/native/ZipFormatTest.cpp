// The ZIP reading rules the setup program extracts by, on archives made
// byte by byte here, and the uninstall list's one reader and writer.
#include "archive/ZipFormat.h"
#include "package/UninstallList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Put64(Bytes& out, uint64_t value)
{
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

void PutText(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// Stored entries, each optionally written with ZIP64 fields; the end
// records with or without ZIP64, and a comment.
struct Entry {
    std::string name;
    std::string data;
    bool zip64 = false; // sizes and offset marked, their values in the extra field
};

struct ArchiveParts {
    Bytes bytes;
    uint64_t centralOffset = 0;
    uint64_t centralSize = 0;
};

ArchiveParts MakeArchive(const std::vector<Entry>& entries, bool zip64End = false, const std::string& comment = "")
{
    ArchiveParts parts;
    Bytes& out = parts.bytes;
    std::vector<uint64_t> offsets;
    for (const Entry& entry : entries) {
        offsets.push_back(out.size());
        Put32(out, ZIP_LOCAL_SIGNATURE);
        Put16(out, entry.zip64 ? 45 : 10);
        Put16(out, 0);                       // flags
        Put16(out, ZIP_METHOD_STORED);
        Put32(out, 0);                       // time and date
        Put32(out, 0x12345678);              // CRC-32: not judged here
        Put32(out, entry.zip64 ? ZIP64_MARK_32 : static_cast<uint32_t>(entry.data.size()));
        Put32(out, entry.zip64 ? ZIP64_MARK_32 : static_cast<uint32_t>(entry.data.size()));
        Put16(out, static_cast<uint32_t>(entry.name.size()));
        Put16(out, entry.zip64 ? 20 : 0);
        PutText(out, entry.name);
        if (entry.zip64) {
            Put16(out, ZIP64_EXTRA_ID);
            Put16(out, 16);
            Put64(out, entry.data.size());
            Put64(out, entry.data.size());
        }
        PutText(out, entry.data);
    }
    parts.centralOffset = out.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        Put32(out, ZIP_CENTRAL_SIGNATURE);
        Put16(out, 20);
        Put16(out, entry.zip64 ? 45 : 10);
        Put16(out, 0);
        Put16(out, ZIP_METHOD_STORED);
        Put32(out, 0);
        Put32(out, 0x12345678);
        Put32(out, entry.zip64 ? ZIP64_MARK_32 : static_cast<uint32_t>(entry.data.size()));
        Put32(out, entry.zip64 ? ZIP64_MARK_32 : static_cast<uint32_t>(entry.data.size()));
        Put16(out, static_cast<uint32_t>(entry.name.size()));
        Put16(out, entry.zip64 ? 28 : 0);
        Put16(out, 0); // comment
        Put16(out, 0); // disk
        Put16(out, 0);
        Put32(out, 0);
        Put32(out, entry.zip64 ? ZIP64_MARK_32 : static_cast<uint32_t>(offsets[i]));
        PutText(out, entry.name);
        if (entry.zip64) {
            Put16(out, ZIP64_EXTRA_ID);
            Put16(out, 24);
            Put64(out, entry.data.size());
            Put64(out, entry.data.size());
            Put64(out, offsets[i]);
        }
    }
    parts.centralSize = out.size() - parts.centralOffset;
    if (zip64End) {
        uint64_t recordOffset = out.size();
        Put32(out, ZIP64_END_SIGNATURE);
        Put64(out, 44);
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, 0);
        Put32(out, 0);
        Put64(out, entries.size());
        Put64(out, entries.size());
        Put64(out, parts.centralSize);
        Put64(out, parts.centralOffset);
        Put32(out, ZIP64_LOCATOR_SIGNATURE);
        Put32(out, 0);
        Put64(out, recordOffset);
        Put32(out, 1);
    }
    Put32(out, ZIP_END_SIGNATURE);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, zip64End ? ZIP64_MARK_16 : static_cast<uint32_t>(entries.size()));
    Put16(out, zip64End ? ZIP64_MARK_16 : static_cast<uint32_t>(entries.size()));
    Put32(out, zip64End ? ZIP64_MARK_32 : static_cast<uint32_t>(parts.centralSize));
    Put32(out, zip64End ? ZIP64_MARK_32 : static_cast<uint32_t>(parts.centralOffset));
    Put16(out, static_cast<uint32_t>(comment.size()));
    PutText(out, comment);
    return parts;
}

ZipProblem Directory(const Bytes& archive, TZipDirectory& directory)
{
    size_t tail = archive.size() < ZIP_TAIL_BYTES ? archive.size() : ZIP_TAIL_BYTES;
    return ReadZipDirectory(archive.data() + archive.size() - tail, tail, archive.size(), directory);
}

// Every central header and its local header, as the extraction walks them.
ZipProblem WalkEntries(const Bytes& archive, std::vector<TZipEntry>* entries = nullptr)
{
    TZipDirectory directory;
    ZipProblem problem = Directory(archive, directory);
    size_t at = static_cast<size_t>(directory.offset);
    for (uint64_t i = 0; problem == ZipProblem::None && i < directory.entries; ++i) {
        TZipEntry entry;
        size_t bytes = 0;
        problem = ReadZipCentral(archive.data() + at, static_cast<size_t>(directory.endStart) - at, entry, &bytes);
        if (problem != ZipProblem::None)
            break;
        size_t local = static_cast<size_t>(entry.localOffset);
        problem = CheckZipLocal(archive.data() + local, directory.offset - local, entry,
                                archive.data() + at + ZIP_CENTRAL_BYTES, nullptr);
        if (entries)
            entries->push_back(entry);
        at += bytes;
    }
    return problem;
}

TEST(ZipFormatTest, PlainAndZip64ArchivesReadAlike)
{
    std::vector<Entry> entries = {{"bin/a.dll", "hello"}, {"readme.txt", "world!"}};
    for (bool zip64 : {false, true}) {
        SCOPED_TRACE(zip64 ? "ZIP64" : "plain");
        for (Entry& entry : entries)
            entry.zip64 = zip64;
        ArchiveParts parts = MakeArchive(entries, zip64);
        TZipDirectory directory;
        ASSERT_EQ(ZipProblem::None, Directory(parts.bytes, directory));
        EXPECT_EQ(2u, directory.entries);
        EXPECT_EQ(parts.centralOffset, directory.offset);
        EXPECT_EQ(parts.centralSize, directory.size);
        EXPECT_EQ(zip64, directory.zip64);
        std::vector<TZipEntry> read;
        ASSERT_EQ(ZipProblem::None, WalkEntries(parts.bytes, &read));
        ASSERT_EQ(2u, read.size());
        EXPECT_EQ(5u, read[0].uncompressedSize);
        EXPECT_EQ(6u, read[1].compressedSize);
        EXPECT_EQ(0u, read[0].localOffset);
        EXPECT_EQ(9u, read[0].nameLength);
    }
}

TEST(ZipFormatTest, TheEndRecordIsTheOneWhoseCommentReachesTheEnd)
{
    std::vector<Entry> entries = {{"a.txt", "a"}};
    // The longest comment there can be.
    TZipDirectory directory;
    EXPECT_EQ(ZipProblem::None, Directory(MakeArchive(entries, false, std::string(0xFFFF, 'c')).bytes, directory));
    // A comment that ends in what looks like an end record: the real one is
    // taken, as the fake one's comment length does not reach the end.
    std::string fake = "\x50\x4B\x05\x06" + std::string(10, '\0');
    EXPECT_EQ(ZipProblem::None, Directory(MakeArchive(entries, false, fake).bytes, directory));
    EXPECT_EQ(1u, directory.entries);
    // Bytes behind the comment, or an archive too short for a record.
    Bytes trailing = MakeArchive(entries).bytes;
    trailing.push_back(0);
    EXPECT_EQ(ZipProblem::NoEndRecord, Directory(trailing, directory));
    EXPECT_EQ(ZipProblem::NoEndRecord, Directory(Bytes(21, 0), directory));
    // A central directory that does not end where the end record begins.
    Bytes gap = MakeArchive(entries).bytes;
    gap[gap.size() - 6] += 1; // its offset, one byte on
    EXPECT_EQ(ZipProblem::BadDirectory, Directory(gap, directory));
}

TEST(ZipFormatTest, Zip64FieldsMustBeWhereTheMarksSay)
{
    std::vector<Entry> entries = {{"big.bin", "0123456789", true}};
    ArchiveParts parts = MakeArchive(entries, true);
    // A locator pointing at no ZIP64 end record.
    Bytes moved = parts.bytes;
    size_t locator = moved.size() - ZIP_END_BYTES - ZIP64_LOCATOR_BYTES;
    moved[locator + 8] -= 1;
    TZipDirectory directory;
    EXPECT_EQ(ZipProblem::BadZip64End, Directory(moved, directory));
    // A second disk.
    Bytes disks = parts.bytes;
    disks[locator + 16] = 2;
    EXPECT_EQ(ZipProblem::MultipleDisks, Directory(disks, directory));

    // A marked size whose extra field is too short for it.
    Bytes shortExtra = parts.bytes;
    size_t central = static_cast<size_t>(parts.centralOffset);
    shortExtra[central + ZIP_CENTRAL_BYTES + 7 + 2] = 8; // the ZIP64 field claims 8 bytes of 24
    shortExtra[central + 30] = 12;                       // and the extra area shrinks to match
    EXPECT_NE(ZipProblem::None, WalkEntries(shortExtra));
    // An extra field that runs past its header.
    Bytes overrun = parts.bytes;
    overrun[central + ZIP_CENTRAL_BYTES + 7 + 2] = 200;
    EXPECT_EQ(ZipProblem::BadHeader, WalkEntries(overrun));
}

TEST(ZipFormatTest, LocalHeaderMustAgreeWithTheCentralOne)
{
    ArchiveParts parts = MakeArchive({{"one.txt", "1"}, {"two.txt", "22"}});
    ASSERT_EQ(ZipProblem::None, WalkEntries(parts.bytes));
    // Another name of the same length in the local header.
    Bytes renamed = parts.bytes;
    renamed[ZIP_LOCAL_BYTES] = 'x';
    EXPECT_EQ(ZipProblem::BadHeader, WalkEntries(renamed));
    // Another size.
    Bytes resized = parts.bytes;
    resized[22] = 9;
    EXPECT_EQ(ZipProblem::BadHeader, WalkEntries(resized));
    // Behind a data descriptor the local sizes are not judged.
    Bytes described = parts.bytes;
    described[6] |= ZIP_FLAG_DESCRIPTOR;
    described[parts.centralOffset + 8] |= ZIP_FLAG_DESCRIPTOR;
    described[22] = 0;
    EXPECT_EQ(ZipProblem::None, WalkEntries(described));
    // More entries than central headers can hold.
    Bytes counted = parts.bytes;
    counted[counted.size() - 12] = 200;
    counted[counted.size() - 14] = 200;
    TZipDirectory directory;
    EXPECT_EQ(ZipProblem::BadDirectory, Directory(counted, directory));
}

TEST(UninstallListTest, SlotsRoundTripAndLongTextsAreCut)
{
    std::u16string group = u"Kestrel Trader", folder = u"C:\\Program Files\\Kestrel Trader";
    std::u16string longest(300, u'x');
    std::u16string cyrillic = u"C:\\\u041F\\\u0444.txt";
    uint32_t bytes = 0;
    ASSERT_TRUE(GetUninstallListBytes(3, &bytes));
    ASSERT_EQ(5u * UNINSTALL_SLOT_BYTES, bytes);
    Bytes list(bytes);
    const std::u16string texts[] = {group, folder, cyrillic, longest, u""};
    for (size_t i = 0; i < 5; ++i)
        FormatUninstallSlot(texts[i].c_str(), list.data() + i * UNINSTALL_SLOT_BYTES);

    CUninstallList reader(list.data(), list.size());
    EXPECT_EQ(5u, reader.GetSlotCount());
    EXPECT_EQ(3u, reader.GetFileCount());
    EXPECT_FALSE(reader.HasRemainder());
    char16_t slot[UNINSTALL_SLOT_CHARS];
    EXPECT_EQ(group.size(), reader.ReadSlot(UNINSTALL_GROUP_SLOT, slot));
    EXPECT_EQ(group, std::u16string(slot));
    reader.ReadSlot(UNINSTALL_FIRST_FILE_SLOT, slot);
    EXPECT_EQ(cyrillic, std::u16string(slot));
    EXPECT_EQ(UNINSTALL_SLOT_CHARS - 1, reader.ReadSlot(3, slot));
    EXPECT_EQ(0u, reader.ReadSlot(4, slot));
    EXPECT_EQ(0u, reader.ReadSlot(5, slot)) << "past the last slot";

    // A slot stored without a zero reads as its first 259 units; a part of a
    // slot at the end is not read.
    Bytes full(UNINSTALL_SLOT_BYTES + 10, 'A');
    CUninstallList unterminated(full.data(), full.size());
    EXPECT_TRUE(unterminated.HasRemainder());
    EXPECT_EQ(1u, unterminated.GetSlotCount());
    EXPECT_EQ(0u, unterminated.GetFileCount());
    EXPECT_EQ(UNINSTALL_SLOT_CHARS - 1, unterminated.ReadSlot(0, slot));
    EXPECT_EQ(u'\u4141', slot[0]);

    // A list must fit its record's 32-bit size.
    EXPECT_TRUE(GetUninstallListBytes(UNINSTALL_MAX_SLOTS - 2, &bytes));
    EXPECT_FALSE(GetUninstallListBytes(UNINSTALL_MAX_SLOTS - 1, &bytes));
}

} // namespace
