// ZIP64 archives as build takes and inspect verifies them: ready ZIPs made by
// Debian's zip, an installer of 65,535 entries, and damaged ZIP64 end
// records, where inspect and the setup program's reader refuse alike.
#include <gtest/gtest.h>

#include <zlib.h>

#include <unistd.h>

#include <cstdio>

#include "KxpackFixture.h"
#include "archive/ZipFormat.h"
#include "lib/ArchiveBytes.h"
#include "lib/PackageFile.h"
#include "lib/ZipVerify.h"
#include "lib/ZipWriter.h"

namespace {

ZipProblem ReadEnd(const Bytes& zip, TZipDirectory& directory)
{
    size_t tail = std::min(zip.size(), ZIP_TAIL_BYTES);
    return ReadZipDirectory(zip.data() + zip.size() - tail, tail, zip.size(), directory);
}

// The program folder zipped by zip with ZIP64 forced on (-fz).
Bytes ZipWithZip64(const CScratchFolder& dir)
{
    std::string zip = dir / "fz.zip";
    EXPECT_EQ(0, system(("cd '" + (dir / "product/program") + "' && zip -q -r -fz '" + zip + "' .").c_str()));
    return ReadBytes(zip);
}

TEST_F(KxpackCliTest, ReadyZip64ArchivesMadeByZipAreTaken)
{
    Bytes zip = ZipWithZip64(m_dir);
    TZipDirectory directory;
    ASSERT_EQ(ZipProblem::None, ReadEnd(zip, directory));
    EXPECT_TRUE(directory.zip64);
    // An entry from standard input, written without knowing its size.
    ASSERT_EQ(0, system(("cd '" + m_dir.Path() + "' && echo text | zip -q -fz stdin.zip -").c_str()));

    ToolResult build = Build({"--program", m_dir / "fz.zip", "--custom", m_dir / "stdin.zip"});
    ASSERT_EQ(0, build.exitCode) << build.err;
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("core archive: 3 entries")) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("result:       everything verified")) << inspect.out;
}

// One field of the ZIP64 end records changed at a time: the setup
// program's reader refuses each, and so does inspect, naming the record.
TEST_F(KxpackCliTest, DamagedZip64EndRecordsAreRefusedByBothReaders)
{
    const Bytes zip = ZipWithZip64(m_dir);
    const size_t locator = zip.size() - ZIP_END_BYTES - ZIP64_LOCATOR_BYTES;
    const size_t record = locator - ZIP64_END_BYTES;
    ASSERT_EQ(ZIP64_LOCATOR_SIGNATURE, ReadU32(&zip[locator]));
    struct Damage {
        const char* what;
        size_t at;
        uint8_t value;
        const char* named;
    };
    for (const Damage& d : {Damage{"record offset, one less", locator + 8, uint8_t(zip[locator + 8] - 1), "the ZIP64 end locator"},
                            Damage{"record offset, one more", locator + 8, uint8_t(zip[locator + 8] + 1), "the ZIP64 end locator"},
                            Damage{"disks", locator + 16, 2, "names disk 0 of 2"},
                            Damage{"record signature", record + 3, 0, "no ZIP64 end record at"},
                            Damage{"record size", record + 4, 45, "the ZIP64 end record at"},
                            Damage{"entries on this disk", record + 24, 9, "counts 9 entries on this disk"},
                            Damage{"directory offset", record + 48, 1, "puts the central directory at"}}) {
        SCOPED_TRACE(d.what);
        Bytes damaged = zip;
        damaged[d.at] = d.value;
        TZipDirectory directory;
        EXPECT_NE(ZipProblem::None, ReadEnd(damaged, directory));
        ZipCheck check;
        VerifyZip(CArchiveBytes(damaged.data(), damaged.size()), 0, check);
        ASSERT_FALSE(check.problems.empty());
        EXPECT_NE(std::string::npos, check.problems.front().find(d.named)) << check.problems.front();
    }

    // In an installer, through the scrambled record: one stored byte
    // changes two plain ones, both in the locator's record offset.
    ASSERT_EQ(0, Build({"--program", m_dir / "fz.zip"}).exitCode);
    Bytes file = ReadBytes(m_dir / "out.exe");
    ReadPackage package;
    std::string error;
    ASSERT_TRUE(ReadPackageFile(file, package, error)) << error;
    const uint64_t base = package.Kept(CONTAINER_CORE)->Find(RECORD_ARCHIVE)->DataOffset();
    file[base + locator + 9] ^= 0x01;
    WriteBytes(m_dir / "damaged.exe", file);
    ToolResult inspect = RunKxpack({"inspect", m_dir / "damaged.exe"});
    EXPECT_EQ(1, inspect.exitCode) << inspect.out;
    char expected[96];
    snprintf(expected, sizeof(expected), "  - core archive: the ZIP64 end locator at file offset %llu",
             static_cast<unsigned long long>(base + locator));
    EXPECT_NE(std::string::npos, inspect.out.find(expected)) << inspect.out;
    Bytes plain(file.begin() + static_cast<ptrdiff_t>(base), file.begin() + static_cast<ptrdiff_t>(base + zip.size()));
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    DescrambleRecord(plain.data(), static_cast<ptrdiff_t>(plain.size()), key);
    TZipDirectory directory;
    EXPECT_EQ(ZipProblem::BadZip64End, ReadEnd(plain, directory));
}

// A streaming writer's ZIP64 entry: the local header marks its sizes and
// holds zeros for them in its ZIP64 field; the data descriptor behind the
// data has 8-byte sizes. It verifies, the setup program's reader takes its
// headers, and a descriptor that disagrees is named.
TEST(Zip64DescriptorTest, EightByteDescriptorsAreRead)
{
    const std::string name = "app.exe", content = "MZ program";
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                               static_cast<uInt>(content.size())));
    auto u16 = [](Bytes& out, uint16_t value) { Append(out, &value, 2); };
    auto u64 = [](Bytes& out, uint64_t value) { Append(out, &value, 8); };
    Bytes zip;
    AppendU32(zip, ZIP_LOCAL_SIGNATURE);
    u16(zip, 45), u16(zip, ZIP_FLAG_DESCRIPTOR), u16(zip, 0), u16(zip, 0), u16(zip, 0x5A21);
    AppendU32(zip, 0), AppendU32(zip, ZIP64_MARK_32), AppendU32(zip, ZIP64_MARK_32);
    u16(zip, static_cast<uint16_t>(name.size())), u16(zip, 20);
    Append(zip, name.data(), name.size());
    u16(zip, ZIP64_EXTRA_ID), u16(zip, 16), u64(zip, 0), u64(zip, 0);
    Append(zip, content.data(), content.size());
    const size_t descriptor = zip.size();
    AppendU32(zip, 0x08074B50), AppendU32(zip, crc), u64(zip, content.size()), u64(zip, content.size());
    const uint32_t central = static_cast<uint32_t>(zip.size());
    AppendU32(zip, ZIP_CENTRAL_SIGNATURE);
    u16(zip, 45), u16(zip, 45), u16(zip, ZIP_FLAG_DESCRIPTOR), u16(zip, 0), u16(zip, 0), u16(zip, 0x5A21);
    AppendU32(zip, crc), AppendU32(zip, static_cast<uint32_t>(content.size())),
        AppendU32(zip, static_cast<uint32_t>(content.size()));
    u16(zip, static_cast<uint16_t>(name.size())), u16(zip, 0), u16(zip, 0), u16(zip, 0), u16(zip, 0);
    AppendU32(zip, 0), AppendU32(zip, 0);
    Append(zip, name.data(), name.size());
    const uint32_t centralSize = static_cast<uint32_t>(zip.size()) - central;
    AppendU32(zip, ZIP_END_SIGNATURE), u16(zip, 0), u16(zip, 0), u16(zip, 1), u16(zip, 1);
    AppendU32(zip, centralSize), AppendU32(zip, central), u16(zip, 0);

    TZipDirectory directory;
    ASSERT_EQ(ZipProblem::None, ReadEnd(zip, directory));
    TZipEntry entry;
    ASSERT_EQ(ZipProblem::None, ReadZipCentral(&zip[central], centralSize, entry, nullptr));
    EXPECT_EQ(ZipProblem::None, CheckZipLocal(zip.data(), central, entry, &zip[central + ZIP_CENTRAL_BYTES], nullptr));
    ZipCheck check;
    VerifyZip(CArchiveBytes(zip.data(), zip.size()), 0, check);
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();

    zip[descriptor + 8] ^= 0x01; // its compressed size
    VerifyZip(CArchiveBytes(zip.data(), zip.size()), 0, check);
    ASSERT_FALSE(check.problems.empty());
    EXPECT_EQ("\"app.exe\": its data descriptor at archive offset 67 (0x43) does not match the central directory",
              check.problems.front());
}

// 65,535 entries, as a ZIP kxpack writes: its end record holds the mark,
// and the installer verifies.
TEST_F(KxpackCliTest, AnInstallerOf65535EntriesVerifies)
{
    std::vector<ZipSource> entries(1);
    entries[0].name = "app.exe";
    entries[0].data = {'M', 'Z'};
    entries[0].size = 2;
    char name[32];
    for (size_t i = 1; i < 65535; ++i) {
        snprintf(name, sizeof(name), "f%02zu/g%03zu/", i / 1000, i % 1000);
        entries.push_back(ZipSource{name, "", {}, 0});
    }
    Bytes zip;
    CMemorySink sink(zip);
    std::string error;
    ASSERT_TRUE(WriteZip(entries, 0, "test", sink, error)) << error;
    EXPECT_EQ(0xFFFFu, ReadU16(&zip[zip.size() - ZIP_END_BYTES + 10]));
    WriteBytes(m_dir / "many.zip", zip);

    ToolResult build = Build({"--program", m_dir / "many.zip"});
    ASSERT_EQ(0, build.exitCode) << build.err;
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out.substr(inspect.out.size() - 2000);
    EXPECT_NE(std::string::npos, inspect.out.find("core archive: 65535 entries")) << inspect.err;
}

// A file of 4 GiB of zeros (sparse) deflates to a few megabytes: its sizes
// stand in ZIP64 fields, and the installer verifies. Deflating 4 GiB takes
// about 20 s: run with KX_LARGE_TESTS=1.
TEST_F(KxpackCliTest, AFileOf4GiBGoesIntoAnInstallerThatVerifies)
{
    if (!getenv("KX_LARGE_TESTS"))
        GTEST_SKIP() << "KX_LARGE_TESTS=1 runs it";
    const uint64_t size = (uint64_t(1) << 32) + 3;
    WriteText(m_dir / "product/program/zeros.dat", "");
    ASSERT_EQ(0, truncate((m_dir / "product/program/zeros.dat").c_str(), static_cast<off_t>(size)));
    ToolResult build = Build();
    ASSERT_EQ(0, build.exitCode) << build.err;
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe", "--json"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    size_t entry = inspect.out.find("\"name\": \"zeros.dat\"");
    ASSERT_NE(std::string::npos, entry) << inspect.out;
    EXPECT_EQ(inspect.out.find("\"size\": " + std::to_string(size), entry),
              inspect.out.find("\"size\": ", entry)) << inspect.out;
}

} // namespace
