// inspect's memory follows the bytes read, never the sizes an installer's
// headers claim. The installers here claim hundreds of megabytes that stand
// in a hole of a sparse file (its length is real, its bytes are zeros that
// take no disk) or nowhere at all; each is reported with what is wrong with
// it, and kxpack's peak memory stays far below the sizes claimed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "KxpackFixture.h"
#include "lib/PackageFile.h"
#include "package/PackageFormat.h"

namespace {

const uint32_t HOLE = 512u << 20;
// Generous: an inspection of the test installer takes some 10 MB.
const long PEAK_LIMIT_KB = 200 * 1024;

// `head`, then a hole that makes the file `head.size() + hole` bytes long,
// then `tail`.
void WriteWithHole(const std::string& path, const Bytes& head, uint64_t hole, const Bytes& tail = {})
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(static_cast<ssize_t>(head.size()), write(fd, head.data(), head.size()));
    ASSERT_EQ(0, ftruncate(fd, static_cast<off_t>(head.size() + hole)));
    ASSERT_EQ(static_cast<ssize_t>(tail.size()),
              pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(head.size() + hole)));
    close(fd);
}

// A container header and the head of its first record, whose data follow.
Bytes ContainerWithRecord(uint32_t type, uint16_t records, uint32_t id, uint32_t size)
{
    Bytes out = SerializeContainer(type, 1767225600, {});
    memcpy(&out[offsetof(ContainerHeader, recordCount)], &records, 2);
    AppendU32(out, id);
    AppendU32(out, size);
    return out;
}

class InspectMemoryTest : public KxpackCliTest {
protected:
    Bytes Installer()
    {
        EXPECT_EQ(0, Build().exitCode);
        return ReadBytes(m_dir / "out.exe");
    }

    uint64_t CoreOffset(const Bytes& installer)
    {
        ReadPackage package;
        std::string error;
        EXPECT_TRUE(ReadPackageFile(installer, package, error)) << error;
        return package.Kept(CONTAINER_CORE) ? package.Kept(CONTAINER_CORE)->offset : 0;
    }

    // inspect reports `problem` and fails, within the memory limit.
    ToolResult ExpectReported(const std::string& path, const std::string& problem,
                              const std::vector<std::string>& options = {})
    {
        std::vector<std::string> args = {"inspect", path};
        args.insert(args.end(), options.begin(), options.end());
        ToolResult result = RunKxpack(args);
        EXPECT_EQ(1, result.exitCode) << result.err;
        EXPECT_NE(std::string::npos, result.out.find(problem)) << result.out.substr(0, 4000) << result.err;
        EXPECT_LT(result.peakKilobytes, PEAK_LIMIT_KB) << "KB at the peak";
        return result;
    }
};

TEST_F(InspectMemoryTest, RecordsInAHoleAreReadInPieces)
{
    Bytes installer = Installer();

    // A licence container whose configuration stands in the hole, its
    // signature behind it: checked as it is read, never held.
    Bytes head = installer;
    Bytes licence = ContainerWithRecord(CONTAINER_LICENSE, 2, RECORD_CONFIG, HOLE);
    head.insert(head.end(), licence.begin(), licence.end());
    Bytes signature;
    AppendU32(signature, RECORD_CONFIG_SIGNATURE);
    AppendU32(signature, 256);
    signature.resize(signature.size() + 256, 0x5A);
    WriteWithHole(m_dir / "config.exe", head, HOLE, signature);
    ExpectReported(m_dir / "config.exe", "configuration: signature does not verify");

    // An uninstall list in the hole: every slot is read as the uninstaller
    // reads it (259 units, no zero) and shown, a piece at a time, in text and
    // JSON alike. Smaller, as all of it is shown: 129,055 slots.
    const uint32_t LIST_HOLE = (64u << 20) / UNINSTALL_SLOT_BYTES * UNINSTALL_SLOT_BYTES;
    head = installer;
    Bytes uninstall = ContainerWithRecord(CONTAINER_UNINSTALL, 1, RECORD_UNINSTALL_LIST, LIST_HOLE);
    head.insert(head.end(), uninstall.begin(), uninstall.end());
    WriteWithHole(m_dir / "uninstall.exe", head, LIST_HOLE);
    for (const std::string& end : {"\nuninstall flags: none recorded", "\n  ],\n  \"uninstallFlags\": null"}) {
        bool json = end[1] == ' ';
        ToolResult shown = ExpectReported(m_dir / "uninstall.exe", "an uninstall container beside program files",
                                          json ? std::vector<std::string>{"--json"} : std::vector<std::string>{});
        EXPECT_NE(std::string::npos, shown.out.find(end)) << "the list is not shown to its end";
    }

    // A program files archive in the hole, its end record claiming all of
    // it for the central directory.
    head.assign(installer.begin(), installer.begin() + static_cast<ptrdiff_t>(CoreOffset(installer)));
    Bytes core = ContainerWithRecord(CONTAINER_CORE, 1, RECORD_ARCHIVE, HOLE);
    head.insert(head.end(), core.begin(), core.end());
    Bytes end;
    AppendU32(end, 0x06054B50);
    AppendU32(end, 0);          // disk numbers
    AppendU32(end, 0x00010001); // one entry, on this disk and in all
    AppendU32(end, HOLE - 22 - 64);
    AppendU32(end, 64);
    end.resize(22, 0);
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    ScrambleRecordFrom(end.data(), static_cast<ptrdiff_t>(end.size()), key, HOLE - 22, 0);
    WriteWithHole(m_dir / "archive.exe", head, HOLE - 22, end);
    ExpectReported(m_dir / "archive.exe", "core archive: central directory header 1 at file offset " +
                                              std::to_string(head.size() + 64));
}

TEST_F(InspectMemoryTest, AnImageInAHoleIsSearchedInPieces)
{
    // The section holding the package certificate claims the hole: the
    // image ends behind the package.
    Bytes installer = Installer();
    uint32_t sectionTable = ReadU32(&installer[0x3C]) + 24 + ReadU16(&installer[ReadU32(&installer[0x3C]) + 20]);
    uint32_t rawOffset = ReadU32(&installer[sectionTable + 20]);
    uint32_t rawSize = HOLE;
    memcpy(&installer[sectionTable + 16], &rawSize, 4);
    WriteWithHole(m_dir / "image.exe", installer, rawOffset + uint64_t(HOLE) - installer.size());
    ExpectReported(m_dir / "image.exe", "is not the end of the image (" + std::to_string(rawOffset + HOLE) + ")");
}

TEST_F(InspectMemoryTest, SizesBeyondTheFileAreNeverAllocated)
{
    Bytes installer = Installer();
    Bytes file = installer;
    Bytes licence = ContainerWithRecord(CONTAINER_LICENSE, 1, RECORD_CONFIG, 0xFFFFFF00u);
    file.insert(file.end(), licence.begin(), licence.end());
    WriteBytes(m_dir / "claims.exe", file);
    ExpectReported(m_dir / "claims.exe", "unreadable, skipped");
}

} // namespace
