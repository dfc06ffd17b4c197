// kxpack as its users meet it: builds that work, and every input problem
// reported in one line with a non-zero exit and no half-written output.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <zlib.h>

#include <cstring>

#include "KxpackFixture.h"
#include "ToolRunner.h"
#include "lib/FileIo.h"
#include "lib/PackageCrypto.h"
#include "lib/PackageFile.h"
#include "lib/SignedPayload.h"

namespace {

TEST_F(KxpackCliTest, BuildsAnInstallerThatInspectVerifies)
{
    // Beyond the first megabyte: random data is stored once that shows it
    // does not shrink, text is deflated to its end.
    std::string noise(3u << 20, 0), text;
    uint32_t seed = 7;
    for (auto& ch : noise) {
        seed = seed * 1103515245 + 12345;
        ch = static_cast<char>(seed >> 23);
    }
    while (text.size() < (3u << 20) + 17)
        text += "line " + std::to_string(text.size()) + "\n";
    WriteText(m_dir / "product/program/noise.bin", noise);
    WriteText(m_dir / "product/program/sub/log.txt", text);
    ToolResult build = Build();
    ASSERT_EQ(0, build.exitCode) << build.err;
    ToolResult listing = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_EQ(0, listing.exitCode) << listing.out;
    auto line = [&](const std::string& name) {
        size_t at = listing.out.find("  " + name + " ");
        return at == std::string::npos ? std::string() : listing.out.substr(at, listing.out.find('\n', at) - at);
    };
    EXPECT_NE(std::string::npos, line("noise.bin").find(" 3145728  stored")) << listing.out;
    EXPECT_NE(std::string::npos, line("sub/log.txt").find(" " + std::to_string(text.size()) + "  deflated"))
        << listing.out;
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

// One stored byte flipped where the setup program would meet it, each time
// in a copy of the installer: the archive's entry data, its central
// directory, a container header's reserved bytes and a local header's CRC.
// Each is found, and named by its entry or its file offset.
TEST_F(KxpackCliTest, InspectFindsEveryFlippedByte)
{
    ASSERT_EQ(0, Build().exitCode);
    const Bytes file = ReadBytes(m_dir / "out.exe");
    ReadPackage package;
    std::string error;
    ASSERT_TRUE(ReadPackageFile(file, package, error));
    const ReadContainer* core = package.Kept(CONTAINER_CORE);
    ASSERT_NE(nullptr, core);
    const ReadRecord* archive = core->Find(RECORD_ARCHIVE);
    ASSERT_NE(nullptr, archive);
    // The archive as the setup program reads it, to find its headers in.
    const uint64_t base = archive->DataOffset();
    Bytes zip(file.begin() + static_cast<ptrdiff_t>(base), file.begin() + static_cast<ptrdiff_t>(base + archive->size));
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    DescrambleRecord(zip.data(), static_cast<ptrdiff_t>(zip.size()), key);
    auto header = [&](const char* signature, const std::string& name) {
        for (size_t at = 0; at + 46 + name.size() <= zip.size(); ++at) {
            size_t nameAt = at + (signature[2] == 3 ? 30 : 46);
            if (memcmp(&zip[at], signature, 4) == 0 && ReadU16(&zip[at + (signature[2] == 3 ? 26 : 28)]) == name.size() &&
                memcmp(&zip[nameAt], name.data(), name.size()) == 0)
                return at;
        }
        ADD_FAILURE() << "no header for " << name;
        return size_t(0);
    };
    size_t local = header("PK\3\4", "sub/data.txt");
    size_t dataAt = local + 30 + 12 + ReadU16(&zip[local + 28]);
    size_t central = header("PK\1\2", "app.exe");
    auto hex = [](uint64_t offset) {
        char text[64];
        snprintf(text, sizeof(text), "file offset %llu (0x%llX)", static_cast<unsigned long long>(offset),
                 static_cast<unsigned long long>(offset));
        return std::string(text);
    };
    struct Flip {
        const char* what;
        uint64_t offset;
        std::string expected;
    };
    const Flip flips[] = {
        {"entry data", base + dataAt, "core archive: \"sub/data.txt\": "},
        {"central directory", base + central + 20, "core archive: \"app.exe\": "},
        {"reserved byte", core->offset + 30,
         "the container header at " + hex(core->offset) + ": its reserved byte at " + hex(core->offset + 30) +
             " is not zero"},
        {"local CRC", base + local + 14,
         "core archive: \"sub/data.txt\": its local header at " + hex(base + local) + " says CRC-32 "},
    };
    for (const Flip& flip : flips) {
        SCOPED_TRACE(flip.what);
        Bytes damaged = file;
        damaged[flip.offset] ^= 0x5A;
        WriteBytes(m_dir / "damaged.exe", damaged);
        ToolResult inspect = RunKxpack({"inspect", m_dir / "damaged.exe"});
        EXPECT_EQ(1, inspect.exitCode);
        EXPECT_NE(std::string::npos, inspect.out.find("  - " + flip.expected)) << inspect.out;
        ToolResult json = RunKxpack({"inspect", "--json", m_dir / "damaged.exe"});
        EXPECT_EQ(1, json.exitCode);
        EXPECT_NE(std::string::npos, json.out.find("\"verified\": false\n}")) << json.out;
    }
}

// The setup program stops at the first bytes that are no container. A
// signing tool's certificate table stands there in a signed installer;
// anything else is named.
TEST_F(KxpackCliTest, InspectNamesWhatFollowsThePackage)
{
    ASSERT_EQ(0, Build().exitCode);
    Bytes file = ReadBytes(m_dir / "out.exe");
    const uint64_t end = file.size();
    file.resize((end + 7) & ~uint64_t(7), 0);
    uint32_t table = static_cast<uint32_t>(file.size()), tableSize = 64;
    file.resize(file.size() + tableSize, 0x30);
    WriteBytes(m_dir / "trailing.exe", file);
    ToolResult inspect = RunKxpack({"inspect", m_dir / "trailing.exe"});
    EXPECT_EQ(1, inspect.exitCode);
    char expected[128];
    snprintf(expected, sizeof(expected), "%llu bytes at file offset %llu (0x%llX) after the last container",
             static_cast<unsigned long long>(file.size() - end), static_cast<unsigned long long>(end),
             static_cast<unsigned long long>(end));
    EXPECT_NE(std::string::npos, inspect.out.find(expected)) << inspect.out;

    // The same bytes as the certificate table that MakeStub's optional header
    // points at: no longer stray bytes, but a signature that cannot be read.
    const uint32_t optional = 0x80 + 24, count = 16;
    memcpy(&file[optional + 92], &count, 4);
    memcpy(&file[optional + 96 + 4 * 8], &table, 4);
    memcpy(&file[optional + 96 + 4 * 8 + 4], &tableSize, 4);
    WriteBytes(m_dir / "signed.exe", file);
    inspect = RunKxpack({"inspect", m_dir / "signed.exe"});
    EXPECT_EQ(1, inspect.exitCode) << inspect.out;
    EXPECT_EQ(std::string::npos, inspect.out.find("after the last container")) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("  - authenticode: a certificate table entry of 808464432 bytes"))
        << inspect.out;
}

// A streaming writer leaves CRC and sizes to a data descriptor behind the
// data; such an archive verifies, and a descriptor that disagrees is named,
// in an installer by inspect and in a ready ZIP by build.
TEST_F(KxpackCliTest, InspectReadsDataDescriptors)
{
    const std::string name = "app.exe", content = "MZ program";
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                               static_cast<uInt>(content.size())));
    uint32_t size = static_cast<uint32_t>(content.size());
    auto u16 = [](Bytes& out, uint16_t value) { Append(out, &value, 2); };
    Bytes zip;
    AppendU32(zip, 0x04034B50);
    u16(zip, 10), u16(zip, 8), u16(zip, 0), u16(zip, 0), u16(zip, 0x5A21);
    AppendU32(zip, 0), AppendU32(zip, 0), AppendU32(zip, 0);
    u16(zip, static_cast<uint16_t>(name.size())), u16(zip, 0);
    Append(zip, name.data(), name.size());
    Append(zip, content.data(), content.size());
    const size_t descriptor = zip.size();
    AppendU32(zip, 0x08074B50), AppendU32(zip, crc), AppendU32(zip, size), AppendU32(zip, size);
    const uint32_t central = static_cast<uint32_t>(zip.size());
    AppendU32(zip, 0x02014B50);
    u16(zip, 20), u16(zip, 10), u16(zip, 8), u16(zip, 0), u16(zip, 0), u16(zip, 0x5A21);
    AppendU32(zip, crc), AppendU32(zip, size), AppendU32(zip, size);
    u16(zip, static_cast<uint16_t>(name.size())), u16(zip, 0), u16(zip, 0), u16(zip, 0), u16(zip, 0);
    AppendU32(zip, 0), AppendU32(zip, 0);
    Append(zip, name.data(), name.size());
    const uint32_t centralSize = static_cast<uint32_t>(zip.size()) - central;
    AppendU32(zip, 0x06054B50), u16(zip, 0), u16(zip, 0), u16(zip, 1), u16(zip, 1);
    AppendU32(zip, centralSize), AppendU32(zip, central), u16(zip, 0);

    WriteBytes(m_dir / "streamed.zip", zip);
    ToolResult build = Build({"--program", m_dir / "streamed.zip"});
    ASSERT_EQ(0, build.exitCode) << build.err;
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;

    // Damaged in the installer: one stored byte changes two plain ones, both in the CRC.
    Bytes file = ReadBytes(m_dir / "out.exe");
    ReadPackage package;
    std::string error;
    ASSERT_TRUE(ReadPackageFile(file, package, error)) << error;
    file[package.Kept(CONTAINER_CORE)->Find(RECORD_ARCHIVE)->DataOffset() + descriptor + 4] ^= 0x01;
    WriteBytes(m_dir / "damaged.exe", file);
    inspect = RunKxpack({"inspect", m_dir / "damaged.exe"});
    EXPECT_EQ(1, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("core archive: \"app.exe\": its data descriptor at file offset "))
        << inspect.out;

    // Damaged in a ready ZIP: refused before anything is built.
    zip[descriptor + 4] ^= 0x01;
    WriteBytes(m_dir / "streamed.zip", zip);
    ExpectBuildFails("streamed.zip: \"app.exe\": its data descriptor at archive offset 47 (0x2F)",
                     {"--program", m_dir / "streamed.zip"});
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

    // A slot with no zero in it is shown as the uninstaller reads it: its
    // first 259 characters.
    Bytes full(UNINSTALL_SLOT_BYTES, 0);
    for (size_t i = 0; i < full.size(); i += 2)
        full[i] = 'A';
    list.insert(list.end(), full.begin(), full.end());
    file.resize(core->offset);
    uninstall = SerializeContainer(CONTAINER_UNINSTALL, 1767225600, {{RECORD_UNINSTALL_LIST, list}});
    file.insert(file.end(), uninstall.begin(), uninstall.end());
    WriteBytes(m_dir / "Uninstall.exe", file);
    inspect = RunKxpack({"inspect", "--json", m_dir / "Uninstall.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find(" \"" + std::string(UNINSTALL_SLOT_CHARS - 1, 'A') + "\"\n"))
        << inspect.out;
}

TEST_F(KxpackCliTest, EveryInputProblemIsNamed)
{
    ExpectBuildFails("is not the certificate of the key", {"--certificate", *s_keys / "main/package-cert.der"}, "other");
    ExpectBuildFails("missing.der: No such file or directory", {"--certificate", m_dir / "missing.der"});
    WriteText(m_dir / "text.der", "not DER");
    ExpectBuildFails("text.der: not a package certificate", {"--certificate", m_dir / "text.der"});

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

    // Names are UTF-8 on the file system: Latin-1 bytes mean nothing certain.
    WriteText(m_dir / "product/program/caf\xE9.txt", "x");
    ExpectBuildFails("\"caf\\xE9.txt\": the file system holds this name in bytes that are not UTF-8");
    unlink((m_dir / "product/program/caf\xE9.txt").c_str());

    mkdir((m_dir / "empty").c_str(), 0755);
    ExpectBuildFails("holds no files", {"--program", m_dir / "empty"});
    WriteText(m_dir / "product/program/Setup.zip", "x");
    ExpectBuildFails("wrote their temporary archive under this name");
    unlink((m_dir / "product/program/Setup.zip").c_str());
    WriteText(m_dir / "product/program/sub/nul.txt", "x");
    ExpectBuildFails("names a device");
    unlink((m_dir / "product/program/sub/nul.txt").c_str());
    WriteText(m_dir / "not.zip", "not a zip");
    ExpectBuildFails("not a readable ZIP archive", {"--program", m_dir / "not.zip"});

    WriteBytes(m_dir / "foreign.exe", MakeStub({}, MACHINE_I386, false));
    ExpectBuildFails("foreign.exe: cannot write its resources: the image has no resource section",
                     {"--stub", m_dir / "foreign.exe"});
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
    EXPECT_EQ(0u, result.out.find("kxpack ")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("\nwrites: ")) << result.out;
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

TEST_F(KxpackCliTest, NamesWindowsCannotHoldAreRefused)
{
    struct Case {
        const char* path;
        const char* message;
    };
    const std::string longFolder(189, 'f');
    for (const Case& c : {Case{"trailing.", "ends in a dot or a blank"}, Case{"sp ", "ends in a dot or a blank"},
                          Case{"dir./x.txt", "\"dir.\" ends in a dot or a blank"},
                          Case{"q?x", "cannot hold any of"}, Case{"lt<gt>", "cannot hold any of"},
                          Case{"pipe|x", "cannot hold any of"}, Case{"star*", "cannot hold any of"},
                          Case{"quote\"x", "cannot hold any of"}, Case{"tab\tx", "cannot hold control characters (it holds U+0009)"},
                          Case{"sub/DATA.txt", "\"sub/data.txt\": differs from \"sub/DATA.txt\" only in letter case"},
                          Case{"Sub/other.txt", "only in letter case; Windows would make them one folder"},
                          Case{"APP.EXE/inner.txt", "\"app.exe\": differs from \"APP.EXE\" only in letter case"}}) {
        CScratchFolder program;
        ASSERT_EQ(0, system(("cp -r '" + (m_dir / "product/program") + "/.' '" + program.Path() + "'").c_str()));
        std::string path = program / c.path;
        ASSERT_EQ(0, system(("mkdir -p \"$(dirname '" + path + "')\"").c_str()));
        WriteText(path, "x");
        ExpectBuildFails(c.message, {"--program", program.Path()});
    }
    CScratchFolder program;
    std::string folder = program / longFolder;
    ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
    WriteText(folder + "/x", "x");
    ExpectBuildFails("its folder's name is 189 UTF-16 units long; at most 188 fit", {"--program", program.Path()});
}

TEST_F(KxpackCliTest, WhatWouldFailWhenInstallingIsRefused)
{
    WriteText(m_dir / "product/licenses/01033-english.txt", "x");
    ExpectBuildFails("without leading zeros");
    unlink((m_dir / "product/licenses/01033-english.txt").c_str());
    WriteText(m_dir / "product/program/uninstall.EXE", "x");
    ExpectBuildFails("writes the uninstaller under this name");
    unlink((m_dir / "product/program/uninstall.EXE").c_str());
    ASSERT_EQ(0, mkdir((m_dir / "product/program/setup.zip").c_str(), 0755));
    WriteText(m_dir / "product/program/setup.zip/x", "x");
    ExpectBuildFails("wrote their temporary archive under this name");
    ASSERT_EQ(0, system(("rm -r '" + (m_dir / "product/program/setup.zip") + "'").c_str()));
    // The setup program extracts a file of any size a piece at a time: one
    // over 4 GiB passes the folder's checks and meets the next one.
    int big = open((m_dir / "product/program/big.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(0, ftruncate(big, 0x100000001)); // sparse: no disk space taken
    close(big);
    WriteText(m_dir / "product/setup.cfg", "company_program=P\ncompany_program_brief=P\ncompany_name=C\n");
    ExpectBuildFails("setup.cfg: shortcut 1 (link_name_1=");
    WriteText(m_dir / "product/setup.cfg", CONFIG);
    unlink((m_dir / "product/program/big.bin").c_str());

    // Shortcut 1's file is started after installing: it must be there, among
    // the program files or the custom ones.
    const std::string required = "company_program=Test Product\ncompany_program_brief=Test\ncompany_name=T\n";
    WriteText(m_dir / "product/setup.cfg", required + "link_name_2=X.lnk\nfile_name_2=app.exe\n");
    ExpectBuildFails("setup.cfg: shortcut 1 (link_name_1=, file_name_1=, icon_file_1=, icon_index_1=) is missing");
    WriteText(m_dir / "product/setup.cfg", required +
                                               "link_name_1=T.lnk\nfile_name_1=bin\\tool.exe\nicon_file_1=a\nicon_index_1=0\n"
                                               "link_name_3=Later.lnk\nfile_name_3=app.exe\n");
    ExpectBuildFails("shortcut 1: \"bin\\tool.exe\" is not among the program or custom files");
    ASSERT_EQ(0, mkdir((m_dir / "custom").c_str(), 0755));
    ASSERT_EQ(0, mkdir((m_dir / "custom/BIN").c_str(), 0755));
    WriteText(m_dir / "custom/BIN/Tool.exe", "MZ");
    ToolResult build = Build({"--custom", m_dir / "custom"});
    EXPECT_EQ(0, build.exitCode) << build.err;
    EXPECT_NE(std::string::npos, build.err.find("shortcut 3 is not read: the setup program reads shortcuts up to "
                                                "the first incomplete one, shortcut 2")) << build.err;

    WriteText(m_dir / "product/setup.cfg", std::string(CONFIG).replace(0, 28, "company_program=Test/Product"));
    build = Build();
    EXPECT_EQ(0, build.exitCode) << build.err;
    EXPECT_NE(std::string::npos, build.err.find("company_program=Test/Product: it names the installation folder"))
        << build.err;
}

// A source file that cannot be read is named, not the output being written.
TEST_F(KxpackCliTest, AnUnreadableSourceFileIsNamed)
{
    std::string locked = m_dir / "product/program/sub/locked.dat";
    WriteText(locked, "secret");
    ASSERT_EQ(0, chmod(locked.c_str(), 0));
    std::string key = m_dir / "key.pem";
    WriteText(key, ReadText(*s_keys / "main/package-key.pem"));
    WriteBytes(m_dir / "package-cert.der", ReadBytes(*s_keys / "main/package-cert.der"));
    std::vector<std::string> args = BuildArgs();
    args[4] = key; // a copy nobody may read
    ToolResult result;
    if (geteuid() == 0) {
        // root reads any file: run as nobody, in a tree nobody may read and write.
        ASSERT_EQ(0, system(("chmod -R a+rwX '" + m_dir.Path() + "' && chmod 0 '" + locked + "'").c_str()));
        std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups " + std::string(KXPACK_PATH);
        for (const auto& arg : args)
            command += " '" + arg + "'";
        result.exitCode = WEXITSTATUS(system((command + " 2>'" + (m_dir / "err.txt") + "'").c_str()));
        result.err = ReadText(m_dir / "err.txt");
    } else {
        result = RunKxpack(args);
    }
    EXPECT_EQ(1, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("kxpack: " + locked + ": Permission denied")) << result.err;
    EXPECT_EQ(std::string::npos, result.err.find(".kxpack-")) << result.err;
    EXPECT_FALSE(IsRegularFile(m_dir / "out.exe"));
}

TEST_F(KxpackCliTest, LinksAreFollowedOnlyWhenAskedAndOnlyInside)
{
    std::string program = m_dir / "product/program";
    ASSERT_EQ(0, symlink("/etc/passwd", (program + "/passwd").c_str()));
    ExpectBuildFails("passwd: a symbolic link; give --follow-links");
    ExpectBuildFails("passwd: a symbolic link that leads outside", {"--follow-links"});
    unlink((program + "/passwd").c_str());
    ASSERT_EQ(0, symlink("/etc", (program + "/etc").c_str()));
    ExpectBuildFails("etc: a symbolic link that leads outside", {"--follow-links"});
    unlink((program + "/etc").c_str());
    ASSERT_EQ(0, symlink(".", (program + "/sub/up").c_str()));
    ExpectBuildFails("up: a symbolic link to a folder it lies in", {"--follow-links"});
    unlink((program + "/sub/up").c_str());
    ASSERT_EQ(0, symlink("/etc/hostname", (m_dir / "product/licenses/1031-german.txt").c_str()));
    ExpectBuildFails("1031-german.txt: a symbolic link that leads outside", {"--follow-links"});
    unlink((m_dir / "product/licenses/1031-german.txt").c_str());

    // Inside the folder, a link is packed as the file it points to.
    ASSERT_EQ(0, symlink("sub/data.txt", (program + "/alias.txt").c_str()));
    ExpectBuildFails("alias.txt: a symbolic link; give --follow-links");
    ToolResult build = Build({"--follow-links"});
    ASSERT_EQ(0, build.exitCode) << build.err;
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("alias.txt                                                  5000"))
        << inspect.out;
}

TEST_F(KxpackCliTest, HeaderBitmapIsCheckedAsTheSetupProgramReadsIt)
{
    Bytes good = ReadBytes(m_dir / "product/header.bmp");
    auto expectRefused = [&](Bytes bmp, const std::string& message) {
        WriteBytes(m_dir / "product/header.bmp", bmp);
        ExpectBuildFails("header.bmp: " + message);
    };
    expectRefused(Bytes(good.begin(), good.begin() + 5000), "a BMP file cut short: its pixels need 90054 bytes");
    Bytes gap = good;
    gap[10] = 64; // pixels said to start 10 bytes later than they do
    expectRefused(gap, "its pixel data start at byte 64, but the setup program reads them right behind the headers, at byte 54");
    Bytes core = good;
    core[14] = 12;
    expectRefused(core, "an old BMP format (a 12-byte info header)");
    Bytes png = good;
    png[30] = 5;
    expectRefused(png, "compression 5");

    // Signed by the right key all the same, a cut bitmap is named by inspect.
    WriteBytes(m_dir / "product/header.bmp", good);
    ASSERT_EQ(0, Build().exitCode);
    Bytes file = ReadBytes(m_dir / "out.exe");
    ReadPackage package;
    std::string error;
    ASSERT_TRUE(ReadPackageFile(file, package, error)) << error;
    const ReadContainer* licence = package.Kept(CONTAINER_LICENSE);
    CSigningKey key;
    ASSERT_TRUE(key.Load(*s_keys / "main/package-key.pem", error)) << error;
    std::vector<PackageRecord> records;
    for (const auto& record : licence->records)
        records.push_back({record.id, record.data});
    for (auto& record : records)
        if (record.id == RECORD_BITMAP)
            ASSERT_TRUE(PackSignedPayload(Bytes(good.begin(), good.begin() + 5000), record.data, error));
    for (auto& record : records)
        if (record.id == RECORD_BITMAP_SIGNATURE)
            ASSERT_TRUE(key.Sign(records[2].data, record.data, error)) << error;
    ASSERT_EQ(RECORD_BITMAP, records[2].id);
    Bytes resigned(file.begin(), file.begin() + static_cast<ptrdiff_t>(licence->offset));
    Bytes container = SerializeContainer(CONTAINER_LICENSE, licence->header.created, records);
    resigned.insert(resigned.end(), container.begin(), container.end());
    resigned.insert(resigned.end(), file.begin() + static_cast<ptrdiff_t>(package.Kept(CONTAINER_CORE)->offset),
                    file.end());
    WriteBytes(m_dir / "cut.exe", resigned);
    ToolResult inspect = RunKxpack({"inspect", m_dir / "cut.exe"});
    EXPECT_EQ(1, inspect.exitCode) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("header bitmap: a BMP file cut short")) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("header bitmap  ( 3 by 12): verified")) << inspect.out;

    Bytes narrow(54 + 400 * 60 * 3, 0);
    std::copy(good.begin(), good.begin() + 54, narrow.begin());
    uint32_t width = 400;
    memcpy(&narrow[18], &width, 4);
    expectRefused(narrow, "400 x 60 pixels; the wizard header is 500 x 60 (give --allow-any-bitmap-size");
    ToolResult allowed = Build({"--allow-any-bitmap-size"});
    EXPECT_EQ(0, allowed.exitCode) << allowed.err;
}

TEST_F(KxpackCliTest, SameInputsGiveTheSameBytes)
{
    unsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(0, Build().exitCode);
    Bytes first = ReadBytes(m_dir / "out.exe");
    // Another second on the clock, other file times and permissions.
    sleep(1);
    struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(0, utimes((m_dir / "product/program/app.exe").c_str(), times));
    ASSERT_EQ(0, chmod((m_dir / "product/program/sub/data.txt").c_str(), 0600));
    ASSERT_EQ(0, Build().exitCode);
    EXPECT_TRUE(first == ReadBytes(m_dir / "out.exe")) << "a second build differs";

    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    ToolResult dated = Build();
    ASSERT_EQ(0, dated.exitCode) << dated.err;
    Bytes second = ReadBytes(m_dir / "out.exe");
    ReadPackage package;
    std::string error;
    ASSERT_TRUE(ReadPackageFile(second, package, error)) << error;
    for (const auto& container : package.containers)
        EXPECT_EQ(1700000000, container.header.created);
    EXPECT_EQ(first.size(), second.size());
    EXPECT_FALSE(first == second);

    setenv("SOURCE_DATE_EPOCH", "yesterday", 1);
    ToolResult wrong = Build();
    EXPECT_EQ(2, wrong.exitCode);
    EXPECT_NE(std::string::npos, wrong.err.find("SOURCE_DATE_EPOCH=yesterday: not a number of seconds"))
        << wrong.err;
    unsetenv("SOURCE_DATE_EPOCH");
}

TEST_F(KxpackCliTest, InterruptedBuildLeavesNothingBehind)
{
    // Enough text that deflating it takes a while on any machine.
    std::string text;
    uint32_t seed = 1;
    const char* const words[] = {"order ", "price ", "limit ", "stop ", "chart ", "volume\n"};
    while (text.size() < (8u << 20)) {
        seed = seed * 1103515245 + 12345;
        text += words[(seed >> 16) % 6];
    }
    for (int i = 0; i < 6; ++i)
        WriteText(m_dir / ("product/program/log" + std::to_string(i) + ".txt"), text);
    for (int signal : {SIGTERM, SIGINT}) {
        WriteText(m_dir / "out.exe", "earlier installer");
        std::vector<std::string> before = m_dir.List();
        pid_t pid = StartKxpack(BuildArgs());
        ASSERT_NE(0, pid);
        // Signalled once the installer is being written.
        bool writing = false;
        for (int wait = 0; wait < 20000 && !writing; ++wait) {
            for (const auto& name : m_dir.List())
                writing |= name.find("out.exe.kxpack-") == 0;
            if (!writing)
                usleep(500);
        }
        EXPECT_TRUE(writing);
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ("earlier installer", ReadText(m_dir / "out.exe"));
        EXPECT_EQ(before, m_dir.List());
    }
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
