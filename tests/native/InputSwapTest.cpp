// Inputs swapped between the look that checked them and the read that packs
// them. kxpack build runs in this process, and the input hook makes one swap
// right before the file is opened, where a race would have to land. Each
// swap keeps the file's bytes, so only the file's identity can tell.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <mutex>

#include "Args.h"
#include "Commands.h"
#include "KxpackFixture.h"
#include "lib/CheckedInput.h"
#include "lib/ProgramFolder.h"

namespace {

class InputSwapTest : public KxpackCliTest {
protected:
    void TearDown() override { SetInputOpenHook(nullptr); }

    // kxpack build of product/ with `swap` made once, right before `target`
    // is opened; what it said on stderr in `said`.
    int BuildSwapping(const std::string& target, const std::function<void()>& swap, std::string& said,
                      const std::vector<std::string>& extra = {})
    {
        std::once_flag once;
        SetInputOpenHook([&](const std::string& path) {
            if (path == target)
                std::call_once(once, swap);
        });
        std::vector<std::string> args = BuildArgs(extra);
        std::vector<char*> argv;
        for (size_t i = 1; i < args.size(); ++i)
            argv.push_back(&args[i][0]);
        argv.push_back(nullptr);
        testing::internal::CaptureStderr();
        int code = RunBuild(static_cast<int>(argv.size() - 1), argv.data());
        said = testing::internal::GetCapturedStderr();
        SetInputOpenHook(nullptr);
        return code;
    }

    // A private copy of `path` outside the product, as a key would be.
    std::string PrivateCopy(const std::string& path)
    {
        std::string copy = m_dir / "private-copy";
        unlink(copy.c_str());
        WriteText(copy, ReadText(path));
        EXPECT_EQ(0, chmod(copy.c_str(), 0600));
        return copy;
    }

    void ExpectRefused(int code, const std::string& said, const std::string& path)
    {
        EXPECT_EQ(EXIT_FAILED, code) << said;
        EXPECT_NE(std::string::npos, said.find("kxpack: " + path + ": changed after it was checked: ")) << said;
        EXPECT_EQ(-1, access((m_dir / "out.exe").c_str(), F_OK)) << "an installer was written";
    }
};

TEST_F(InputSwapTest, AnInputSwappedAfterItWasCheckedIsRefused)
{
    Bytes zip;
    std::string error;
    ASSERT_TRUE(ZipFolder(m_dir / "product/program", 315532800, zip, error)) << error;
    WriteBytes(m_dir / "product/program.zip", zip);
    const std::vector<std::string> inputs = {"setup.cfg", "header.bmp", "licenses/1033-english.txt",
                                             "program/app.exe", "program.zip"};
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        const std::string path = m_dir / ("product/" + input);
        const std::string original = ReadText(path);
        const std::vector<std::string> extra =
            input == "program.zip" ? std::vector<std::string>{"--program", path} : std::vector<std::string>{};
        std::string said;

        // For a link to a file outside, with the same bytes.
        ExpectRefused(BuildSwapping(path,
                                    [&] {
                                        std::string copy = PrivateCopy(path);
                                        ASSERT_EQ(0, unlink(path.c_str()));
                                        ASSERT_EQ(0, symlink(copy.c_str(), path.c_str()));
                                    },
                                    said, extra),
                      said, path);
        unlink(path.c_str());
        WriteText(path, original);

        // For another file of the same size and bytes.
        ExpectRefused(BuildSwapping(path,
                                    [&] {
                                        WriteText(path + ".new", original);
                                        ASSERT_EQ(0, rename((path + ".new").c_str(), path.c_str()));
                                    },
                                    said, extra),
                      said, path);

        // Grown where it stands (a line break more keeps the texts and the bitmap valid).
        ExpectRefused(BuildSwapping(path, [&] { WriteText(path, original + "\n"); }, said, extra), said, path);
        WriteText(path, original);
    }

    // Left alone, each goes in.
    std::string said;
    EXPECT_EQ(EXIT_OK, BuildSwapping(m_dir / "product/setup.cfg", [] {}, said)) << said;
    EXPECT_EQ(0, RunKxpack({"inspect", m_dir / "out.exe"}).exitCode);
}

// With --follow-links a link is packed as the file it led to when the folder
// was walked, and as nothing else.
TEST_F(InputSwapTest, AFollowedLinkMustLeadToTheFileItLedToAtTheWalk)
{
    const std::string link = m_dir / "product/program/link.txt";
    const std::string target = m_dir / "product/program/sub/data.txt";
    const std::string licenceLink = m_dir / "product/licenses/1031-german.txt";
    ASSERT_EQ(0, symlink("sub/data.txt", link.c_str()));
    ASSERT_EQ(0, symlink("1033-english.txt", licenceLink.c_str()));
    const std::string data = ReadText(target);
    std::string said;

    // Its target replaced by another file with the same bytes.
    ExpectRefused(BuildSwapping(link,
                                [&] {
                                    WriteText(target + ".new", data);
                                    ASSERT_EQ(0, rename((target + ".new").c_str(), target.c_str()));
                                },
                                said, {"--follow-links"}),
                  said, link);

    // The link itself pointed elsewhere, outside the folder.
    ExpectRefused(BuildSwapping(link,
                                [&] {
                                    std::string copy = PrivateCopy(target);
                                    ASSERT_EQ(0, unlink(link.c_str()));
                                    ASSERT_EQ(0, symlink(copy.c_str(), link.c_str()));
                                },
                                said, {"--follow-links"}),
                  said, link);
    ASSERT_EQ(0, unlink(link.c_str()));
    ASSERT_EQ(0, symlink("sub/data.txt", link.c_str()));

    // A licence text's link, the same.
    const std::string english = m_dir / "product/licenses/1033-english.txt";
    const std::string text = ReadText(english);
    ExpectRefused(BuildSwapping(licenceLink,
                                [&] {
                                    WriteText(english + ".new", text);
                                    ASSERT_EQ(0, rename((english + ".new").c_str(), english.c_str()));
                                },
                                said, {"--follow-links"}),
                  said, licenceLink);

    // Untouched, the links are followed.
    EXPECT_EQ(EXIT_OK, BuildSwapping(link, [] {}, said, {"--follow-links"})) << said;
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("  link.txt ")) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("  1031-german.txt ")) << inspect.out;
}

} // namespace
