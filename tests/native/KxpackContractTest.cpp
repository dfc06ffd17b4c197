// The archive contract as kxpack keeps it, on the archives the setup
// program's tests use too: each archive broken in one way is refused by
// VerifyZip and by kxpack build for the rule the setup program fails with,
// and each at a rule's edge is taken. Ready ZIPs whose UTF-8 names lack the
// flag get it in the installer's copy, and nothing else changes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>

#include "KxpackFixture.h"
#include "TestZipFiles.h"
#include "lib/ArchiveBytes.h"
#include "lib/ZipVerify.h"
#include "support/ArchiveCorpus.h"

namespace {

const uint16_t UTF8 = 0x0800;

ZipCheck Verify(const Bytes& zip, bool unflaggedUtf8 = false)
{
    ZipVerifyOptions options;
    options.unflaggedUtf8 = unflaggedUtf8;
    ZipCheck check;
    VerifyZip(CArchiveBytes(zip.data(), zip.size()), options, check);
    return check;
}

TestZipFile File(const std::string& name, const std::string& text, uint16_t flags = 0)
{
    return {name, text, flags, false};
}

TEST(KxpackContractTest, EachBrokenArchiveIsRefusedForItsRule)
{
    for (const TCorpusZip& zip : MakeBrokenZips()) {
        SCOPED_TRACE(zip.what);
        for (bool unflaggedUtf8 : {false, true}) {
            ZipCheck check = Verify(zip.bytes, unflaggedUtf8);
            ASSERT_FALSE(check.problems.empty());
            EXPECT_EQ(ZipRuleText(zip.rule), std::string(ZipRuleText(check.rule))) << check.problems.front();
        }
    }
}

TEST(KxpackContractTest, EachArchiveAtTheEdgeIsTaken)
{
    for (const TCorpusZip& zip : MakeEdgeZips()) {
        SCOPED_TRACE(zip.what);
        ZipCheck check = Verify(zip.bytes);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
        EXPECT_EQ(ZipRule::None, check.rule);
        for (const ZipEntryCheck& entry : check.entries)
            EXPECT_TRUE(entry.verified) << entry.name;
    }
}

// An archive broken in more than one way: the first problem is the one the
// setup program meets first, entry by entry, the directory's end after the
// entries and the names against each other last.
TEST(KxpackContractTest, TheFirstProblemIsTheOneTheSetupProgramMeetsFirst)
{
    TestZipFile bzip = File("b.txt", "b"), moved = File("a.txt", "a");
    bzip.method = 12;
    moved.localName = "x.txt";
    struct Case {
        const char* what;
        Bytes zip;
        ZipRule rule;
    };
    for (const Case& c : {
             Case{"two of three counted, the second a device", MakeTestZip({File("a.txt", "a"), File("CON.txt", "c"),
                                                                            File("c.txt", "c")}, 2),
                  ZipRule::Name},
             Case{"a name twice, and a later method", MakeTestZip({File("a.txt", "a"), File("a.txt", "a"), bzip}),
                  ZipRule::Method},
             Case{"a local header, then a name", MakeTestZip({moved, File("a:b", "x")}), ZipRule::LocalHeader},
             Case{"a name, then the directory's end", MakeTestZip({File("a ", "a"), File("b", "b")}, 1),
                  ZipRule::Name},
         }) {
        SCOPED_TRACE(c.what);
        ZipCheck check = Verify(c.zip);
        ASSERT_FALSE(check.problems.empty());
        EXPECT_EQ(ZipRuleText(c.rule), std::string(ZipRuleText(check.rule))) << check.problems.front();
        EXPECT_GT(check.problems.size(), 1u);
    }
}

// Names carried decoded, whatever the flags say they are stored in; bytes
// that do not decode as they are, and shown in problems as \xNN.
TEST(KxpackContractTest, EntriesCarryTheirDecodedNames)
{
    Bytes zip = MakeTestZip({File("\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.txt", "x", UTF8), File("plain.txt", "y"),
                         File("Gr\xF6\xDF" "e.txt", "z")});
    ZipCheck check = Verify(zip);
    ASSERT_EQ(3u, check.entries.size());
    EXPECT_EQ("\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.txt", check.entries[0].name);
    EXPECT_EQ("plain.txt", check.entries[1].name);
    EXPECT_EQ("Gr\xF6\xDF" "e.txt", check.entries[2].name);
    EXPECT_EQ(ZipRule::NameEncoding, check.rule);
    ASSERT_EQ(1u, check.problems.size());
    EXPECT_EQ("\"Gr\\xF6\\xDFe.txt\": its name is stored without the UTF-8 flag (general-purpose bit 11) in bytes "
              "that are not ASCII: the setup program would read it in each user's ANSI code page, another name "
              "on each system; make the archive with UTF-8 names",
              check.problems.front());
    EXPECT_EQ(ZipRule::NameEncoding, check.entries[2].rule);
    EXPECT_TRUE(check.entries[0].verified);
}

// kxpack build names the problem VerifyZip puts first, of the rule the
// setup program fails with; each archive at the edge builds and verifies.
TEST_F(KxpackCliTest, BuildRefusesEachBrokenArchiveAndTakesEachEdgeOne)
{
    for (const TCorpusZip& zip : MakeBrokenZips()) {
        SCOPED_TRACE(zip.what);
        ZipCheck check = Verify(zip.bytes, true);
        ASSERT_FALSE(check.problems.empty());
        EXPECT_EQ(zip.rule, check.rule) << check.problems.front();
        WriteBytes(m_dir / "broken.zip", zip.bytes);
        ExpectBuildFails(check.problems.front(), {"--program", m_dir / "broken.zip"});
    }
    // Shortcut 1's program comes from the custom files.
    ASSERT_EQ(0, mkdir((m_dir / "custom").c_str(), 0755));
    WriteText(m_dir / "custom/app.exe", "MZ");
    for (const TCorpusZip& zip : MakeEdgeZips()) {
        SCOPED_TRACE(zip.what);
        WriteBytes(m_dir / "edge.zip", zip.bytes);
        ToolResult build = Build({"--program", m_dir / "edge.zip", "--custom", m_dir / "custom"});
        ASSERT_EQ(0, build.exitCode) << build.err;
        EXPECT_EQ(zip.bytes, InstallerArchive(ReadBytes(m_dir / "out.exe"), CONTAINER_CORE));
        ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
        EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    }
}

// zip on Linux stores UTF-8 names without the flag: taken as UTF-8, and the
// copy in the installer gets the flag in both headers of those entries and
// nowhere else. A name without the flag that is not UTF-8 is refused; one
// in an installer is reported by inspect.
TEST_F(KxpackCliTest, UnflaggedUtf8NamesOfAReadyZipGetTheFlag)
{
    const std::string file = "\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.txt", folder = "\xE8\xAA\xAC\xE6\x98\x8E/";
    TestZipFile empty = File(folder + "empty.dat", ""), made = File(folder, "");
    empty.stored = made.stored = true;
    Bytes zip = MakeTestZip({File("app.exe", "MZ"), File(file, "text"), made, empty,
                         File("\xF0\x9F\x93\xA6.txt", "flagged", UTF8)});
    ZipCheck before = Verify(zip, true);
    ASSERT_TRUE(before.problems.empty()) << before.problems.front();
    std::set<size_t> expected;
    for (const ZipEntryCheck& entry : before.entries) {
        bool unflagged = entry.name != "app.exe" && !(entry.flags & UTF8);
        EXPECT_EQ(unflagged, entry.utf8Taken) << entry.name;
        if (unflagged) {
            expected.insert(static_cast<size_t>(entry.offset + 7));
            expected.insert(static_cast<size_t>(entry.centralOffset + 9));
        }
    }
    ASSERT_EQ(6u, expected.size());

    WriteBytes(m_dir / "zip.zip", zip);
    ToolResult build = Build({"--program", m_dir / "zip.zip"});
    ASSERT_EQ(0, build.exitCode) << build.err;
    EXPECT_NE(std::string::npos, build.err.find("zip.zip: 3 UTF-8 names without the UTF-8 flag")) << build.err;
    Bytes copy = InstallerArchive(ReadBytes(m_dir / "out.exe"), CONTAINER_CORE);
    ASSERT_EQ(zip.size(), copy.size());
    std::set<size_t> changed;
    for (size_t i = 0; i < zip.size(); ++i) {
        if (zip[i] != copy[i]) {
            changed.insert(i);
            EXPECT_EQ(zip[i] | 0x08, copy[i]) << i;
        }
    }
    EXPECT_EQ(expected, changed);
    ZipCheck after = Verify(copy);
    EXPECT_TRUE(after.problems.empty()) << after.problems.front();
    ASSERT_EQ(before.entries.size(), after.entries.size());
    for (size_t i = 0; i < after.entries.size(); ++i) {
        EXPECT_EQ(before.entries[i].name, after.entries[i].name);
        EXPECT_EQ(after.entries[i].name != "app.exe", (after.entries[i].flags & UTF8) != 0) << after.entries[i].name;
    }
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("  " + file + " ")) << inspect.out;

    // The installer's archive as zip wrote it: the setup program would read
    // those names in the ANSI code page, and inspect says so.
    WriteBytes(m_dir / "unflagged.exe", WithCoreArchive(ReadBytes(m_dir / "out.exe"), zip));
    inspect = RunKxpack({"inspect", m_dir / "unflagged.exe"});
    EXPECT_EQ(1, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("  - core archive: \"" + file + "\": its name is stored without "
                                                  "the UTF-8 flag (general-purpose bit 11) in bytes that are not "
                                                  "ASCII: the setup program would read it in each user's ANSI code "
                                                  "page"))
        << inspect.out;

    // Latin-1 bytes without the flag: no reading is certain.
    WriteBytes(m_dir / "latin1.zip", MakeTestZip({File("app.exe", "MZ"), File("Gr\xF6\xDF" "e.txt", "x")}));
    ExpectBuildFails("latin1.zip: \"Gr\\xF6\\xDFe.txt\": its name is stored without the UTF-8 flag "
                     "(general-purpose bit 11) in bytes that are not ASCII: the setup program would read it in each "
                     "user's ANSI code page, another name on each system; make the archive with UTF-8 names (kxpack "
                     "takes such names as UTF-8 where they are, but these bytes are not UTF-8 either)",
                     {"--program", m_dir / "latin1.zip"});
}

} // namespace
