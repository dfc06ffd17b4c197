// kxpack build without --stub: the stub of --edition installed beside
// kxpack, found from where the running program lies. A copy of kxpack in a
// scratch tree (<root>/usr/bin/kxpack) stands for the package unpacked
// anywhere, with stand-in stubs in <root>/usr/share/kxsetup/stubs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "KxpackFixture.h"
#include "lib/ShippedStubs.h"

namespace {

class ShippedStubTest : public KxpackCliTest {
protected:
    void SetUp() override
    {
        KxpackCliTest::SetUp();
        m_kxpack = InstallTree(m_dir / "root");
        Bytes certificate = ReadBytes(*s_keys / "main/package-cert.der");
        WriteBytes(StubPath(m_dir / "root", "32"), MakeStub(certificate, MACHINE_I386));
        WriteBytes(StubPath(m_dir / "root", "64"), MakeStub(certificate, MACHINE_AMD64));
    }

    // <root>/usr/bin/kxpack, a copy of the kxpack under test, and the empty
    // folder for its stubs.
    static std::string InstallTree(const std::string& root)
    {
        for (const char* folder : {"", "/usr", "/usr/bin", "/usr/share", "/usr/share/kxsetup",
                                   "/usr/share/kxsetup/stubs"})
            mkdir((root + folder).c_str(), 0755);
        std::string program = root + "/usr/bin/kxpack";
        WriteBytes(program, ReadBytes(KXPACK_PATH));
        chmod(program.c_str(), 0755);
        return program;
    }

    static std::string StubPath(const std::string& root, const std::string& edition)
    {
        return root + "/usr/share/kxsetup/stubs/setup-" + edition + ".exe";
    }

    // kxpack build of product/ into out.exe by `program`, without --stub.
    ToolResult BuildWith(const std::string& program, std::vector<std::string> extra = {}) const
    {
        std::vector<std::string> args = {"build", "--key", *s_keys / "main/package-key.pem", "--product",
                                          m_dir / "product", "--output", m_dir / "out.exe"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProgram(program, args);
    }

    // The edition `kxpack inspect` gives the installer built last.
    std::string BuiltEdition() const
    {
        ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe", "--json"});
        EXPECT_EQ(0, inspect.exitCode) << inspect.out;
        for (const char* edition : {"32-bit", "64-bit"})
            if (inspect.out.find(std::string("\"edition\": \"") + edition + "\"") != std::string::npos)
                return edition;
        return "none";
    }

    std::string m_kxpack;
};

TEST_F(ShippedStubTest, EachEditionTakesItsOwnStub)
{
    struct Case {
        std::vector<std::string> options;
        const char* edition;
    };
    for (const Case& c : {Case{{}, "32-bit"}, Case{{"--edition", "32"}, "32-bit"}, Case{{"--edition", "64"}, "64-bit"}}) {
        SCOPED_TRACE(c.options.empty() ? "no --edition" : c.options[1]);
        unlink((m_dir / "out.exe").c_str());
        ToolResult build = BuildWith(m_kxpack, c.options);
        ASSERT_EQ(0, build.exitCode) << build.err;
        EXPECT_EQ(c.edition, BuiltEdition());
    }
}

TEST_F(ShippedStubTest, FoundThroughALinkToTheProgram)
{
    // As a link in /usr/local/bin would: the stubs lie beside the program the
    // link leads to, not beside the link.
    mkdir((m_dir / "elsewhere").c_str(), 0755);
    mkdir((m_dir / "elsewhere/bin").c_str(), 0755);
    ASSERT_EQ(0, symlink(m_kxpack.c_str(), (m_dir / "elsewhere/bin/kxpack").c_str()));
    ToolResult build = BuildWith(m_dir / "elsewhere/bin/kxpack", {"--edition", "64"});
    ASSERT_EQ(0, build.exitCode) << build.err;
    EXPECT_EQ("64-bit", BuiltEdition());
}

TEST_F(ShippedStubTest, AMissingStubNamesThePathLookedAt)
{
    WriteText(m_dir / "out.exe", "earlier installer");
    // Only the 64-bit stub shipped: the default edition is missing, the other is found.
    unlink(StubPath(m_dir / "root", "32").c_str());
    ToolResult result = BuildWith(m_kxpack);
    EXPECT_EQ(1, result.exitCode);
    EXPECT_EQ("kxpack: no setup program of the 32-bit edition at " + StubPath(m_dir / "root", "32") +
                  " (where kxpack's package installs it); give --stub FILE\n",
              result.err);
    EXPECT_EQ("earlier installer", ReadText(m_dir / "out.exe"));
    ASSERT_EQ(0, BuildWith(m_kxpack, {"--edition", "64"}).exitCode);

    // A kxpack copied out of its tree has none, and says where it looked.
    std::string loose = InstallTree(m_dir / "loose");
    result = BuildWith(loose, {"--edition", "64"});
    EXPECT_EQ(1, result.exitCode);
    EXPECT_NE(std::string::npos, result.err.find(" at " + StubPath(m_dir / "loose", "64") + " ")) << result.err;
    // A folder where the stub should be is no stub either.
    mkdir(StubPath(m_dir / "loose", "64").c_str(), 0755);
    EXPECT_EQ(1, BuildWith(loose, {"--edition", "64"}).exitCode);
}

TEST_F(ShippedStubTest, EditionAndStubOptionsAreChecked)
{
    for (const char* edition : {"86", "x64", "", "64 "}) {
        SCOPED_TRACE(std::string("--edition '") + edition + "'");
        ToolResult result = BuildWith(m_kxpack, {"--edition", edition});
        EXPECT_EQ(2, result.exitCode);
        EXPECT_EQ(std::string("kxpack: --edition ") + edition + ": the editions are 32 and 64\n", result.err);
    }
    // A stub given has its own edition: --edition beside it is refused, even
    // when it would agree.
    for (const char* edition : {"32", "64"}) {
        ToolResult result = ExpectBuildFails("--stub and --edition exclude each other", {"--edition", edition});
        EXPECT_EQ(2, result.exitCode);
    }
}

TEST(ShippedStubFolder, IsUpFromTheProgramsFolder)
{
    EXPECT_EQ("/usr/share/kxsetup/stubs", ShippedStubFolder("/usr/bin/kxpack"));
    EXPECT_EQ("/opt/kx 1.0/share/kxsetup/stubs", ShippedStubFolder("/opt/kx 1.0/bin/kxpack"));
    EXPECT_EQ("/share/kxsetup/stubs", ShippedStubFolder("/bin/kxpack"));
}

} // namespace
