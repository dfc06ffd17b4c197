// kxpack as its users meet it: builds that work, and every input problem
// reported in one line with a non-zero exit and no half-written output.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "KxpackFixture.h"
#include "ToolRunner.h"
#include "lib/FileIo.h"
#include "lib/PackageFile.h"

namespace {

TEST_F(KxpackCliTest, BuildsAnInstallerThatInspectVerifies)
{
    ToolResult build = Build();
    ASSERT_EQ(0, build.exitCode) << build.err;
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe", "--json"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out << inspect.err;
    for (const char* expected : {"\"verified\": true", "\"mode\": \"install\"", "\"name\": \"1049-russian.txt\"",
                                 "\"name\": \"sub/data.txt\"", "company_name=Test Company"})
        EXPECT_NE(std::string::npos, inspect.out.find(expected)) << expected << "\n" << inspect.out;

    // The installer serves as a stub: only its image is taken.
    ToolResult again = RunKxpack({"build", "--stub", m_dir / "out.exe", "--key", *s_keys / "main/package-key.pem",
                                  "--product", m_dir / "product", "--output", m_dir / "again.exe"});
    ASSERT_EQ(0, again.exitCode) << again.err;
    EXPECT_EQ(ReadBytes(m_dir / "out.exe").size(), ReadBytes(m_dir / "again.exe").size());

    // A foreign certificate verifies nothing.
    ToolResult foreign = RunKxpack({"inspect", m_dir / "out.exe", "--cert", *s_keys / "other/package-cert.der"});
    EXPECT_EQ(1, foreign.exitCode);
    EXPECT_NE(std::string::npos, foreign.out.find("configuration: signature does not verify")) << foreign.out;
}

TEST_F(KxpackCliTest, BothEditionsOfTheStubAreTakenAndNamed)
{
    Bytes certificate = ReadBytes(*s_keys / "main/package-cert.der");
    struct Case {
        uint16_t machine;
        const char* text;
        const char* json;
    };
    for (const Case& c : {Case{MACHINE_I386, "edition:      32-bit (x86, PE32)", "\"edition\": \"32-bit\""},
                          Case{MACHINE_AMD64, "edition:      64-bit (x86-64, PE32+)", "\"edition\": \"64-bit\""}}) {
        WriteBytes(m_dir / "setup.exe", MakeStub(certificate, c.machine));
        ToolResult build = Build();
        ASSERT_EQ(0, build.exitCode) << build.err;
        EXPECT_NE(std::string::npos, build.err.find(std::string("the ") + (c.machine == MACHINE_I386 ? "32" : "64") +
                                                    "-bit edition")) << build.err;
        ToolResult text = RunKxpack({"inspect", m_dir / "out.exe"});
        EXPECT_EQ(0, text.exitCode) << text.out;
        EXPECT_NE(std::string::npos, text.out.find(c.text)) << text.out;
        ToolResult json = RunKxpack({"inspect", m_dir / "out.exe", "--json"});
        EXPECT_EQ(0, json.exitCode) << json.out;
        EXPECT_NE(std::string::npos, json.out.find(c.json)) << json.out;
    }

    // Other machines are not a setup program of ours.
    WriteBytes(m_dir / "setup.exe", MakeStub(certificate, 0xAA64));
    ExpectBuildFails("not an x86 or x86-64 Windows program (machine 0xAA64)");
    ToolResult inspect = RunKxpack({"inspect", m_dir / "setup.exe", "--json"});
    EXPECT_EQ(1, inspect.exitCode);
    EXPECT_NE(std::string::npos, inspect.out.find("\"edition\": null")) << inspect.out;
}

TEST_F(KxpackCliTest, InspectFindsTampering)
{
    ASSERT_EQ(0, Build().exitCode);
    Bytes file = ReadBytes(m_dir / "out.exe");
    ReadPackage package;
    std::string error;
    ASSERT_TRUE(ReadPackageFile(file, package, error));
    const ReadRecord* config = package.Kept(CONTAINER_LICENSE)->Find(RECORD_CONFIG);
    ASSERT_NE(nullptr, config);
    file[config->offset + 8 + config->size - 1] ^= 0x20;
    WriteBytes(m_dir / "tampered.exe", file);
    ToolResult inspect = RunKxpack({"inspect", m_dir / "tampered.exe"});
    EXPECT_EQ(1, inspect.exitCode);
    EXPECT_NE(std::string::npos, inspect.out.find("configuration: signature does not verify")) << inspect.out;

    // Cut inside the core container: the package no longer loads.
    file = ReadBytes(m_dir / "out.exe");
    file.resize(package.Kept(CONTAINER_CORE)->offset + 40);
    WriteBytes(m_dir / "cut.exe", file);
    inspect = RunKxpack({"inspect", m_dir / "cut.exe"});
    EXPECT_EQ(1, inspect.exitCode);
    EXPECT_NE(std::string::npos, inspect.out.find("would not load")) << inspect.out;
}

TEST_F(KxpackCliTest, InspectShowsTheUninstallList)
{
    ASSERT_EQ(0, Build().exitCode);
    Bytes file = ReadBytes(m_dir / "out.exe");
    ReadPackage package;
    std::string error;
    ASSERT_TRUE(ReadPackageFile(file, package, error));
    // The uninstaller: image and licence container as they are, then an uninstall list.
    const ReadContainer* core = package.Kept(CONTAINER_CORE);
    file.resize(core->offset);
    Bytes list(3 * UNINSTALL_SLOT_BYTES, 0);
    const char16_t* slots[] = {u"Test Product", u"C:\\Program Files\\Test Product", u"C:\\Program Files\\Test Product\\app.exe"};
    for (int i = 0; i < 3; ++i)
        memcpy(&list[i * UNINSTALL_SLOT_BYTES], slots[i], std::char_traits<char16_t>::length(slots[i]) * 2);
    Bytes uninstall = SerializeContainer(CONTAINER_UNINSTALL, 1767225600, {{RECORD_UNINSTALL_LIST, list}});
    file.insert(file.end(), uninstall.begin(), uninstall.end());
    WriteBytes(m_dir / "Uninstall.exe", file);

    ToolResult inspect = RunKxpack({"inspect", m_dir / "Uninstall.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("runs as:      uninstaller")) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("file           C:\\Program Files\\Test Product\\app.exe")) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("uninstall flags: none recorded")) << inspect.out;

    // With the flags record beside the list: named, shown, and no problem.
    file.resize(core->offset);
    uninstall = SerializeContainer(CONTAINER_UNINSTALL, 1767225600,
                                   {{RECORD_UNINSTALL_LIST, list}, {RECORD_UNINSTALL_FLAGS, Bytes{3, 0, 0, 0}}});
    file.insert(file.end(), uninstall.begin(), uninstall.end());
    WriteBytes(m_dir / "Uninstall.exe", file);
    inspect = RunKxpack({"inspect", m_dir / "Uninstall.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("record   7 uninstall flags")) << inspect.out;
    EXPECT_NE(std::string::npos,
              inspect.out.find("uninstall flags: 0x00000003 (made the folder, made the program group)"))
        << inspect.out;
    inspect = RunKxpack({"inspect", "--json", m_dir / "Uninstall.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("\"uninstallFlags\": 3")) << inspect.out;
}

TEST_F(KxpackCliTest, EveryInputProblemIsNamed)
{
    ExpectBuildFails("does not match the package certificate", {}, "other");

    WriteText(m_dir / "product/setup.cfg", "company_program=P\ncompany_name=C\n");
    ExpectBuildFails("\"company_program_brief=\" is missing or empty");
    WriteText(m_dir / "product/setup.cfg", "company_program=P\ncompany_program_brief=\"\"\ncompany_name=C\n");
    ExpectBuildFails("\"company_program_brief=\" is missing or empty");
    WriteText(m_dir / "product/setup.cfg", std::string(CONFIG) + "bad=\xC3\x28\n");
    ExpectBuildFails("not valid UTF-8");
    WriteText(m_dir / "product/setup.cfg", CONFIG);

    WriteText(m_dir / "gif.bmp", "GIF89a");
    ExpectBuildFails("gif.bmp: not a BMP file", {"--bitmap", m_dir / "gif.bmp"});
    ExpectBuildFails("missing.bmp: No such file or directory", {"--bitmap", m_dir / "missing.bmp"});

    WriteText(m_dir / "product/licenses/readme.txt", "x");
    ExpectBuildFails("licence texts are files named <locale id>-<anything>");
    unlink((m_dir / "product/licenses/readme.txt").c_str());

    WriteText(m_dir / "product/program/caf\xC3\xA9.txt", "x");
    ExpectBuildFails("only printable ASCII characters");
    unlink((m_dir / "product/program/caf\xC3\xA9.txt").c_str());

    mkdir((m_dir / "empty").c_str(), 0755);
    ExpectBuildFails("holds no files", {"--program", m_dir / "empty"});
    WriteText(m_dir / "product/program/Setup.zip", "x");
    ExpectBuildFails("writes its temporary archive under this name");
    unlink((m_dir / "product/program/Setup.zip").c_str());
    WriteText(m_dir / "product/program/sub/nul.txt", "x");
    ExpectBuildFails("names a device");
    unlink((m_dir / "product/program/sub/nul.txt").c_str());
    WriteText(m_dir / "not.zip", "not a zip");
    ExpectBuildFails("not a readable ZIP archive", {"--program", m_dir / "not.zip"});

    WriteBytes(m_dir / "foreign.exe", MakeStub({}));
    ExpectBuildFails("carries no package certificate", {"--stub", m_dir / "foreign.exe"});
    WriteText(m_dir / "setup.exe", "plain text, no program");
    ExpectBuildFails("not a Windows program");
}

TEST_F(KxpackCliTest, CommandLineProblemsAndHelp)
{
    ToolResult result = RunKxpack({"build", "--stub", m_dir / "setup.exe"});
    EXPECT_EQ(2, result.exitCode);
    EXPECT_NE(std::string::npos, result.err.find("--key is missing")) << result.err;
    result = RunKxpack({"build", "--key", "k", "--stub", "s", "--output", "o"});
    EXPECT_EQ(2, result.exitCode);
    EXPECT_NE(std::string::npos, result.err.find("--config is missing (or give --product)")) << result.err;
    EXPECT_EQ(2, RunKxpack({"build", "--frobnicate"}).exitCode);
    EXPECT_EQ(2, RunKxpack({"build", "--stub"}).exitCode);
    EXPECT_EQ(2, RunKxpack({"unpack"}).exitCode);
    EXPECT_EQ(2, RunKxpack({}).exitCode);
    EXPECT_EQ(2, RunKxpack({"inspect"}).exitCode);
    EXPECT_EQ(1, RunKxpack({"inspect", m_dir / "missing.exe"}).exitCode);

    for (const char* command : {"keygen", "build", "inspect"}) {
        result = RunKxpack({command, "--help"});
        EXPECT_EQ(0, result.exitCode);
        EXPECT_NE(std::string::npos, result.out.find(std::string("usage: kxpack ") + command)) << result.out;
    }
    EXPECT_EQ(0, RunKxpack({"--help"}).exitCode);
    result = RunKxpack({"--version"});
    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ(0u, result.out.find("kxpack 1.0\nwrites: ")) << result.out;
}

TEST_F(KxpackCliTest, OutputPathIsCheckedBeforeAnyWork)
{
    // Named with the path the user gave, not a scratch or licence file.
    mkdir((m_dir / "folder").c_str(), 0755);
    for (const std::string& output : {m_dir / "folder/", m_dir / "folder"}) {
        ToolResult result = RunKxpack({"build", "--stub", m_dir / "setup.exe", "--key", "missing.pem", "--product",
                                       m_dir / "product", "--output", output});
        EXPECT_EQ(1, result.exitCode);
        EXPECT_EQ("kxpack: " + output + ": names a folder; --output takes the installer's file name\n", result.err);
    }
    ToolResult result = RunKxpack({"build", "--stub", m_dir / "setup.exe", "--key", "missing.pem", "--product",
                                   m_dir / "product", "--output", m_dir / "missing/out.exe"});
    EXPECT_EQ(1, result.exitCode);
    EXPECT_EQ("kxpack: " + (m_dir / "missing/out.exe") + ": its folder " + (m_dir / "missing") + " does not exist\n",
              result.err);
}

TEST_F(KxpackCliTest, ConfigurationLinesAreCheckedAndStrictFailsOnWarnings)
{
    // A blank before "=" once made the key "missing": now the line is named.
    WriteText(m_dir / "product/setup.cfg", std::string(CONFIG) + "company_link = https://x\n");
    ExpectBuildFails("line 8: blanks around \"=\"");
    WriteText(m_dir / "product/setup.cfg", std::string(CONFIG) + "company_name=Again\n");
    ExpectBuildFails("\"company_name\" is set again");
    WriteText(m_dir / "product/setup.cfg", std::string(CONFIG) + "compnay_link=https://x\n");
    ToolResult lenient = Build();
    EXPECT_EQ(0, lenient.exitCode) << lenient.err;
    EXPECT_NE(std::string::npos, lenient.err.find("did you mean \"company_link\"")) << lenient.err;
    ExpectBuildFails("warning(s), and --strict makes them errors", {"--strict"});
}

TEST_F(KxpackCliTest, KeygenKeepsExistingKeys)
{
    std::string folder = m_dir / "keys";
    ASSERT_EQ(0, RunKxpack({"keygen", folder}).exitCode);
    std::string key = ReadText(folder + "/package-key.pem");
    struct stat info;
    ASSERT_EQ(0, stat((folder + "/package-key.pem").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);

    ToolResult again = RunKxpack({"keygen", folder});
    EXPECT_EQ(1, again.exitCode);
    EXPECT_NE(std::string::npos, again.err.find("exists; --force replaces it")) << again.err;
    EXPECT_EQ(key, ReadText(folder + "/package-key.pem"));
    ASSERT_EQ(0, RunKxpack({"keygen", "--force", folder}).exitCode);
    EXPECT_NE(key, ReadText(folder + "/package-key.pem"));
}

} // namespace
