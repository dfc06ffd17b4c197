// What an edition cannot install is refused by build, each in one line:
// an installer of 4 GiB or more, an archive over its record's 32-bit size,
// more program files than the edition installs.
#include <gtest/gtest.h>

#include <unistd.h>

#include "KxpackFixture.h"
#include "lib/InstallLimits.h"
#include "package/PackageLimits.h"

namespace {

// The decisions themselves, at and just past each limit.
TEST(InstallLimitsTest, EachLimitHoldsUpToItsValue)
{
    std::string error;
    EXPECT_TRUE(CheckInstallerSize(0xFFFFFFFF, error));
    ASSERT_FALSE(CheckInstallerSize(0x100000000, error));
    EXPECT_EQ("the installer would be at least 4294967296 bytes; Windows does not start a program file of "
              "4 GiB (4294967296 bytes) or more",
              error);

    EXPECT_TRUE(CheckRecordSize("program files", 0xFFFFFFFF, error));
    ASSERT_FALSE(CheckRecordSize("custom files", 0x100000000, error));
    EXPECT_EQ("the custom files archive would be at least 4294967296 bytes; an archive record holds at most "
              "4294967295 (its size is a 32-bit field)",
              error);

    // The 32-bit edition keeps its list of files in 2 GB; the 64-bit one
    // is held by Uninstall.exe, which must stay under 4 GiB with 64 MB for
    // its image and licence container: 260-character slots, two of them
    // and 65 more not files.
    EXPECT_EQ(1000000u, MaxProgramFiles(Edition::X86));
    EXPECT_EQ((0xFFFFFFFFu - 64u * 1024 * 1024) / 520 - 67, MaxProgramFiles(Edition::X64));
    EXPECT_TRUE(CheckProgramFileCount(Edition::X86, 1000000, error));
    ASSERT_FALSE(CheckProgramFileCount(Edition::X86, 1000001, error));
    EXPECT_EQ(0u, error.find("1000001 program files and folders (program and custom): the 32-bit edition "
                             "installs at most 1000000"))
        << error;
    EXPECT_TRUE(CheckProgramFileCount(Edition::X64, 1000001, error));
    EXPECT_TRUE(CheckProgramFileCount(Edition::X64, MaxProgramFiles(Edition::X64), error));
    ASSERT_FALSE(CheckProgramFileCount(Edition::X64, MaxProgramFiles(Edition::X64) + 1, error));
    EXPECT_NE(std::string::npos, error.find("the 64-bit edition installs at most 8130429")) << error;
}

// A file of `size` bytes that takes no disk space.
void MakeSparse(const std::string& path, uint64_t size)
{
    WriteText(path, "PK");
    ASSERT_EQ(0, truncate(path.c_str(), static_cast<off_t>(size)));
}

// A ready ZIP too large for its record, or for the installer around it, is
// refused before it is read: each of these would take minutes to check.
TEST_F(KxpackCliTest, ReadyZipsTooLargeAreRefusedBeforeAnyWork)
{
    MakeSparse(m_dir / "huge.zip", MAX_RECORD_BYTES + 1);
    ExpectBuildFails("huge.zip: the program files archive would be at least 4294967296 bytes; an archive record "
                     "holds at most 4294967295 (its size is a 32-bit field)",
                     {"--program", m_dir / "huge.zip"});
    ExpectBuildFails("huge.zip: the custom files archive would be at least",
                     {"--custom", m_dir / "huge.zip"});
    unlink((m_dir / "huge.zip").c_str());

    // It fits its record, but not with the stub before it.
    MakeSparse(m_dir / "large.zip", MAX_RECORD_BYTES - 100);
    ToolResult result = ExpectBuildFails((m_dir / "out.exe") + ": the installer would be at least ",
                                         {"--custom", m_dir / "large.zip"});
    EXPECT_NE(std::string::npos, result.err.find("Windows does not start a program file of 4 GiB")) << result.err;
}

// Building a product whose installer passes 4 GiB only once compressed:
// refused as soon as the output grows past it, and the temporary output is
// gone. It writes 4 GiB: run with KX_LARGE_TESTS=1.
TEST_F(KxpackCliTest, AnInstallerThatGrowsPast4GiBIsRefusedWhileWritten)
{
    if (!getenv("KX_LARGE_TESTS"))
        GTEST_SKIP() << "KX_LARGE_TESTS=1 runs it";
    // Random data is stored: three files of 1.5 GB do not shrink.
    std::string chunk(1 << 20, 0);
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (int file = 0; file < 3; ++file) {
        FILE* out = fopen((m_dir / ("product/program/volume" + std::to_string(file) + ".bin")).c_str(), "wb");
        ASSERT_NE(nullptr, out);
        for (int megabyte = 0; megabyte < 1536; ++megabyte) {
            for (size_t i = 0; i < chunk.size(); i += 8) {
                seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
                memcpy(&chunk[i], &seed, 8);
            }
            ASSERT_EQ(chunk.size(), fwrite(chunk.data(), 1, chunk.size(), out));
        }
        fclose(out);
    }
    ToolResult result = ExpectBuildFails((m_dir / "out.exe") + ": the installer would be at least ");
    EXPECT_NE(std::string::npos, result.err.find("Windows does not start a program file of 4 GiB")) << result.err;
}

} // namespace
