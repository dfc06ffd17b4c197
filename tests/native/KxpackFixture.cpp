#include "KxpackFixture.h"

#include <sys/stat.h>

#include <cstring>

#include "lib/PackageFile.h"

Bytes MakeStub(const Bytes& certificate, uint16_t machine)
{
    Bytes image(0x400, 0);
    image[0] = 'M';
    image[1] = 'Z';
    uint32_t peOffset = 0x80;
    memcpy(&image[0x3C], &peOffset, 4);
    memcpy(&image[peOffset], "PE\0\0", 4);
    uint16_t sections = 1, optionalSize = machine == MACHINE_I386 ? 0xE0 : 0xF0;
    uint16_t magic = machine == MACHINE_I386 ? 0x10B : 0x20B;
    memcpy(&image[peOffset + 4], &machine, 2);
    memcpy(&image[peOffset + 6], &sections, 2);
    memcpy(&image[peOffset + 20], &optionalSize, 2);
    memcpy(&image[peOffset + 24], &magic, 2);
    // 16 data directories, as a linker writes them: a signing tool needs the security entry.
    uint32_t directories = 16, headers = 0x400;
    memcpy(&image[peOffset + 24 + (machine == MACHINE_I386 ? 92 : 108)], &directories, 4);
    memcpy(&image[peOffset + 24 + 60], &headers, 4);
    uint32_t sectionTable = peOffset + 24 + optionalSize;
    memcpy(&image[sectionTable], ".rdata\0\0", 8);
    Bytes data(PACKAGE_CERTIFICATE_MARKER, PACKAGE_CERTIFICATE_MARKER + PACKAGE_CERTIFICATE_MARKER_BYTES);
    AppendU32(data, static_cast<uint32_t>(certificate.size()));
    data.insert(data.end(), certificate.begin(), certificate.end());
    data.resize((data.size() + 0x1FF) & ~0x1FFu, 0);
    uint32_t rawSize = static_cast<uint32_t>(data.size()), rawOffset = 0x400;
    memcpy(&image[sectionTable + 16], &rawSize, 4);
    memcpy(&image[sectionTable + 20], &rawOffset, 4);
    image.insert(image.end(), data.begin(), data.end());
    return image;
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    WriteText(path, std::string(bytes.begin(), bytes.end()));
}

Bytes ReadBytes(const std::string& path)
{
    std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
}

const char* const CONFIG =
    "company_program=Test Product\n"
    "company_program_brief=Test\n"
    "company_name=Test Company\n"
    "link_name_1=Test Product\nfile_name_1=app.exe\nicon_file_1=app.exe\nicon_index_1=0\n";

CScratchFolder* KxpackCliTest::s_keys = nullptr;

void KxpackCliTest::SetUpTestSuite()
{
    s_keys = new CScratchFolder;
    ASSERT_EQ(0, RunKxpack({"keygen", s_keys->Path() + "/main"}).exitCode);
    ASSERT_EQ(0, RunKxpack({"keygen", s_keys->Path() + "/other"}).exitCode);
}

void KxpackCliTest::TearDownTestSuite()
{
    delete s_keys;
    s_keys = nullptr;
}

void KxpackCliTest::SetUp()
{
    WriteBytes(m_dir / "setup.exe", MakeStub(ReadBytes(*s_keys / "main/package-cert.der")));
    mkdir((m_dir / "product").c_str(), 0755);
    mkdir((m_dir / "product/licenses").c_str(), 0755);
    mkdir((m_dir / "product/program").c_str(), 0755);
    mkdir((m_dir / "product/program/sub").c_str(), 0755);
    WriteText(m_dir / "product/setup.cfg", CONFIG);
    WriteText(m_dir / "product/licenses/1033-english.txt", "Licence text.\n");
    WriteText(m_dir / "product/licenses/1049-russian.txt", "\xD0\x9B\xD0\xB8\xD1\x86\xD0\xB5\xD0\xBD\xD0\xB7\xD0\xB8\xD1\x8F\n");
    WriteText(m_dir / "product/program/app.exe", "MZ program");
    WriteText(m_dir / "product/program/sub/data.txt", std::string(5000, 'd'));
    Bytes bmp(54 + 500 * 60 * 3, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    uint32_t offset = 54, header = 40, width = 500, height = 60;
    uint16_t bits = 24;
    memcpy(&bmp[10], &offset, 4);
    memcpy(&bmp[14], &header, 4);
    memcpy(&bmp[18], &width, 4);
    memcpy(&bmp[22], &height, 4);
    memcpy(&bmp[28], &bits, 2);
    WriteBytes(m_dir / "product/header.bmp", bmp);
}

std::vector<std::string> KxpackCliTest::BuildArgs(std::vector<std::string> extra, const std::string& key) const
{
    std::vector<std::string> args = {"build", "--stub", m_dir / "setup.exe", "--key",
                                     *s_keys / (key + "/package-key.pem"), "--product",
                                     m_dir / "product", "--output", m_dir / "out.exe"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

ToolResult KxpackCliTest::Build(std::vector<std::string> extra, const std::string& key)
{
    return RunKxpack(BuildArgs(extra, key));
}

ToolResult KxpackCliTest::ExpectBuildFails(const std::string& message, std::vector<std::string> extra,
                                           const std::string& key)
{
    WriteText(m_dir / "out.exe", "earlier installer");
    std::vector<std::string> before = m_dir.List();
    ToolResult result = Build(extra, key);
    EXPECT_NE(0, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.err.find(message)) << result.err;
    EXPECT_EQ("earlier installer", ReadText(m_dir / "out.exe"));
    EXPECT_EQ(before, m_dir.List());
    return result;
}
