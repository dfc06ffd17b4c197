// Products whose names are not ASCII, as users bring them: a folder that
// kxpack zips, and ready ZIPs made by the archivers found on Linux. Each
// builds, and the installer's archive holds the folder's names and bytes.
// Shortcut files and icons are found as Windows finds them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "BuildInputs.h"
#include "KxpackFixture.h"
#include "lib/FileIo.h"
#include "lib/InstallLimits.h"
#include "lib/PackageFile.h"
#include "package/UninstallList.h"

namespace {

// CONFIG with a link name that draws no warning: builds here run --strict.
std::string StrictConfig()
{
    std::string config = CONFIG;
    const std::string link = "link_name_1=Test Product\n";
    return config.replace(config.find(link), link.size(), "link_name_1=Test Product.lnk\n");
}

bool Installed(const char* program)
{
    return system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// The archivers read the names in the locale's encoding: UTF-8 here.
class ReadyZipTest : public KxpackCliTest {
protected:
    void SetUp() override
    {
        KxpackCliTest::SetUp();
        const char* locale = getenv("LC_ALL");
        m_locale = locale ? locale : "";
        m_hadLocale = locale != nullptr;
        setenv("LC_ALL", "C.UTF-8", 1);
        WriteText(m_dir / "product/setup.cfg", StrictConfig());
        ASSERT_EQ(0, mkdir((m_dir / "tree").c_str(), 0755));
        WriteTree(m_dir / "tree", UnicodeTree());
    }
    void TearDown() override
    {
        if (m_hadLocale)
            setenv("LC_ALL", m_locale.c_str(), 1);
        else
            unsetenv("LC_ALL");
    }

    // The top-level names of the tree, as an archiver is given them.
    std::vector<std::string> TopLevel() const
    {
        std::vector<std::string> names;
        std::string error;
        EXPECT_TRUE(ListFolder(m_dir / "tree", names, error)) << error;
        return names;
    }

    // The ZIP at `zip` goes into an installer whose archive holds the tree.
    void ExpectBuildsWithTree(const std::string& zip)
    {
        ToolResult build = Build({"--program", zip, "--strict"});
        ASSERT_EQ(0, build.exitCode) << build.err;
        ExpectArchiveHoldsTree(InstallerArchive(ReadBytes(m_dir / "out.exe"), CONTAINER_CORE), UnicodeTree());
        ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
        EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    }

    std::string m_locale;
    bool m_hadLocale = false;
};

TEST_F(ReadyZipTest, MadeByInfoZip)
{
    if (!Installed("zip"))
        GTEST_SKIP() << "zip is not installed";
    // Its names are UTF-8 without the flag; the copy gets it.
    ASSERT_EQ(0, system(("cd '" + (m_dir / "tree") + "' && zip -q -r '" + (m_dir / "t.zip") + "' .").c_str()));
    ExpectBuildsWithTree(m_dir / "t.zip");
}

TEST_F(ReadyZipTest, MadeByPython)
{
    if (!Installed("python3"))
        GTEST_SKIP() << "python3 is not installed";
    WriteText(m_dir / "zip.py",
              "import os, sys, zipfile\n"
              "root, out = sys.argv[1], sys.argv[2]\n"
              "with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:\n"
              "    for folder, folders, files in os.walk(root):\n"
              "        for name in sorted(folders) + sorted(files):\n"
              "            path = os.path.join(folder, name)\n"
              "            z.write(path, os.path.relpath(path, root))\n");
    ToolResult python = RunProgram("python3", {m_dir / "zip.py", m_dir / "tree", m_dir / "t.zip"});
    ASSERT_EQ(0, python.exitCode) << python.err;
    ExpectBuildsWithTree(m_dir / "t.zip");
}

TEST_F(ReadyZipTest, MadeBy7Zip)
{
    if (!Installed("7z"))
        GTEST_SKIP() << "7z is not installed";
    ASSERT_EQ(0, system(("cd '" + (m_dir / "tree") + "' && 7z a -tzip '" + (m_dir / "t.zip") + "' '*' >/dev/null")
                            .c_str()));
    ExpectBuildsWithTree(m_dir / "t.zip");
}

TEST_F(ReadyZipTest, MadeByBsdtar)
{
    if (!Installed("bsdtar"))
        GTEST_SKIP() << "bsdtar is not installed";
    std::vector<std::string> args = {"--format", "zip", "-cf", m_dir / "t.zip", "-C", m_dir / "tree"};
    for (const auto& name : TopLevel())
        args.push_back(name);
    ToolResult bsdtar = RunProgram("bsdtar", args);
    ASSERT_EQ(0, bsdtar.exitCode) << bsdtar.err;
    ExpectBuildsWithTree(m_dir / "t.zip");

    // Given the folder as ".", it names every entry "./...": refused, and told how to make it instead.
    bsdtar = RunProgram("bsdtar", {"--format", "zip", "-cf", m_dir / "dot.zip", "-C", m_dir / "tree", "."});
    ASSERT_EQ(0, bsdtar.exitCode) << bsdtar.err;
    ExpectBuildFails("dot.zip: \"./\": its part \".\" is no name", {"--program", m_dir / "dot.zip"});
    ToolResult build = Build({"--program", m_dir / "dot.zip"});
    EXPECT_NE(std::string::npos, build.err.find("make it of the folder's entries instead")) << build.err;
}

// kxpack zips the same folder: every name, empty files and empty folders
// kept, and inspect shows each name. Shortcuts to files not in ASCII are
// found whatever their letter case and slashes.
TEST_F(KxpackCliTest, AFolderWithNamesInAnyScriptBuilds)
{
    ASSERT_EQ(0, mkdir((m_dir / "tree").c_str(), 0755));
    WriteTree(m_dir / "tree", UnicodeTree());
    WriteText(m_dir / "product/setup.cfg",
              StrictConfig() +
                  "link_name_2=\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.lnk\n"
                  // документы\ОТЧЁТ 2024.TXT
                  "file_name_2=\xD0\xB4\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B\\"
                  "\xD0\x9E\xD0\xA2\xD0\xA7\xD0\x81\xD0\xA2 2024.TXT\n"
                  "icon_file_2=APP.EXE\nicon_index_2=0\n");
    ToolResult build = Build({"--program", m_dir / "tree", "--strict"});
    ASSERT_EQ(0, build.exitCode) << build.err;
    Bytes installer = ReadBytes(m_dir / "out.exe");
    ExpectArchiveHoldsTree(InstallerArchive(installer, CONTAINER_CORE), UnicodeTree());
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("core archive: 20 entries")) << inspect.out;
    ToolResult json = RunKxpack({"inspect", "--json", m_dir / "out.exe"});
    EXPECT_EQ(0, json.exitCode) << json.out;
    for (const TreeEntry& entry : UnicodeTree()) {
        EXPECT_NE(std::string::npos, inspect.out.find("  " + entry.name + " ")) << entry.name << "\n" << inspect.out;
        EXPECT_NE(std::string::npos, json.out.find("\"name\": \"" + entry.name + "\"")) << entry.name;
    }

    // A name in another normal form draws a warning, which --strict makes an error.
    WriteText(m_dir / "tree/Cafe\xCC\x81.txt", "decomposed");
    ToolResult warned = Build({"--program", m_dir / "tree"});
    EXPECT_EQ(0, warned.exitCode) << warned.err;
    EXPECT_NE(std::string::npos, warned.err.find("kxpack: warning: " + (m_dir / "tree") + ": \"Cafe\xCC\x81.txt\": "
                                                 "not in Unicode normal form C"))
        << warned.err;
    ExpectBuildFails("1 warning(s), and --strict makes them errors", {"--program", m_dir / "tree", "--strict"});
}

// The uninstall list holds UTF-16: shown as UTF-8, pairs and all.
TEST_F(KxpackCliTest, InspectShowsUninstallSlotsInAnyScript)
{
    ASSERT_EQ(0, Build().exitCode);
    Bytes file = ReadBytes(m_dir / "out.exe");
    ReadPackage package;
    std::string error;
    ASSERT_TRUE(ReadPackageFile(file, package, error)) << error;
    file.resize(package.Kept(CONTAINER_CORE)->offset);
    const std::u16string slots[] = {u"\u041F\u0440\u043E\u0434\u0443\u043A\u0442", u"C:\\\u8AAC\u660E",
                                    u"C:\\\u8AAC\u660E\\\U0001F4E6 box.txt"};
    Bytes list(3 * UNINSTALL_SLOT_BYTES, 0);
    for (int i = 0; i < 3; ++i)
        memcpy(&list[i * UNINSTALL_SLOT_BYTES], slots[i].data(), slots[i].size() * 2);
    Bytes uninstall = SerializeContainer(CONTAINER_UNINSTALL, 1767225600, {{RECORD_UNINSTALL_LIST, list}});
    file.insert(file.end(), uninstall.begin(), uninstall.end());
    WriteBytes(m_dir / "Uninstall.exe", file);
    ToolResult inspect = RunKxpack({"inspect", m_dir / "Uninstall.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    for (const char* line : {"program group  \xD0\x9F\xD1\x80\xD0\xBE\xD0\xB4\xD1\x83\xD0\xBA\xD1\x82\n",
                             "file           C:\\\xE8\xAA\xAC\xE6\x98\x8E\\\xF0\x9F\x93\xA6 box.txt\n"})
        EXPECT_NE(std::string::npos, inspect.out.find(line)) << inspect.out;
}

TEST(BuildInputsTest, FilesAndEveryFolderAreCountedOnce)
{
    // Files a/empty.txt, x.exe, П.dat, d/e/f.txt; folders a, b, b/c, 空,
    // d, d/e (met without an entry of their own).
    std::vector<std::string> names = {"a/", "a/empty.txt", "b/", "b/c/", "\xE7\xA9\xBA/", "x.exe", "\xD0\x9F.dat",
                                      "d/e/f.txt"};
    EXPECT_EQ(10u, CountListedPaths(names));
}

// Shortcut targets and icons are found with Windows' letter case and
// either slash; a missing icon is a warning, unless the index says the
// target's own icon is taken.
TEST(BuildInputsTest, ShortcutsAreFoundAsWindowsFindsThem)
{
    const std::vector<std::string> installed = {"bin/", "bin/\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.exe", "app.exe",
                                                "\xCE\xB9\xCF\x83\xCF\x84\xCF\x8C\xCF\x82.ico"}; // ιστός.ico
    const std::u16string head = u"company_program=P\ncompany_program_brief=P\ncompany_name=C\n";
    struct Case {
        std::u16string shortcuts;
        bool built;
        unsigned warnings;
    };
    for (const Case& c : {
             Case{u"link_name_1=A.lnk\nfile_name_1=BIN\\\u0444\u0430\u0439\u043B.EXE\n"
                  u"icon_file_1=\u0399\u03A3\u03A4\u038C\u03A3.ICO\nicon_index_1=0\n",
                  true, 0},
             Case{u"link_name_1=A.lnk\nfile_name_1=bin/\u0424\u0430\u0439\u043B.exe\n"
                  u"icon_file_1=missing.ico\nicon_index_1=3\n",
                  true, 1},
             Case{u"link_name_1=A.lnk\nfile_name_1=App.Exe\nicon_file_1=missing.ico\nicon_index_1= -2\n", true, 0},
             Case{u"link_name_1=A.lnk\nfile_name_1=bin\\\u0444\u0430\u0439\u043B\nicon_file_1=app.exe\nicon_index_1=0\n",
                  false, 0},
         }) {
        unsigned before = WarningCount();
        std::string error;
        EXPECT_EQ(c.built, CheckShortcuts("setup.cfg", head + c.shortcuts, installed, error)) << error;
        EXPECT_EQ(c.warnings, WarningCount() - before);
    }
}

} // namespace
