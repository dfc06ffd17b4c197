#include "KxpackFixture.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "lib/ArchiveBytes.h"
#include "lib/PackageFile.h"
#include "lib/PeResources.h"
#include "lib/ZipVerify.h"

namespace {

void Put16(Bytes& image, size_t at, uint16_t value)
{
    memcpy(&image[at], &value, 2);
}

void Put32(Bytes& image, size_t at, uint32_t value)
{
    memcpy(&image[at], &value, 4);
}

ResourceEntry Leaf(ResourceId type, ResourceId name, uint16_t language, Bytes data)
{
    ResourceEntry entry;
    entry.type = type;
    entry.name = name;
    entry.language = language;
    entry.data = std::move(data);
    return entry;
}

} // namespace

Bytes MakeStub(const Bytes& certificate, uint16_t machine, bool resources)
{
    const uint32_t FILE_ALIGN = 0x200, SECTION_ALIGN = 0x1000, HEADERS = 0x400;
    Bytes image(HEADERS, 0);
    image[0] = 'M';
    image[1] = 'Z';
    const uint32_t pe = 0x80;
    Put32(image, 0x3C, pe);
    memcpy(&image[pe], "PE\0\0", 4);
    const bool plus = machine != MACHINE_I386;
    const uint16_t optionalSize = plus ? 0xF0 : 0xE0;
    const uint32_t optional = pe + 24, directories = optional + (plus ? 112 : 96);
    Put16(image, pe + 4, machine);
    Put16(image, pe + 20, optionalSize);
    Put16(image, optional, plus ? 0x20B : 0x10B);
    Put32(image, optional + 32, SECTION_ALIGN);
    Put32(image, optional + 36, FILE_ALIGN);
    Put32(image, optional + 60, HEADERS);
    // 16 data directories, as a linker writes them: a signing tool needs the security entry.
    Put32(image, optional + (plus ? 108 : 92), 16);

    struct Section {
        const char* name;
        Bytes data;
    };
    std::vector<Section> sections;
    sections.push_back({".text", Bytes(0x180, 0xC3)});
    const uint32_t resourceAddress = 2 * SECTION_ALIGN;
    if (resources) {
        std::vector<ResourceEntry> entries;
        Bytes icon(40 + 16 * 16 * 4 + 16 * 4, 0x11), group = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0};
        AppendU32(group, static_cast<uint32_t>(icon.size()));
        group.push_back(1);
        group.push_back(0);
        entries.push_back(Leaf(ResourceId::Number(RESOURCE_TYPE_ICON), ResourceId::Number(1), 1033, icon));
        entries.push_back(Leaf(ResourceId::Number(RESOURCE_TYPE_GROUP_ICON), ResourceId::Number(23), 1033, group));
        entries.push_back(Leaf(ResourceId::Name(u"LNG"), ResourceId::Number(9), 1033, Bytes(300, 'T')));
        if (!certificate.empty())
            entries.push_back(Leaf(ResourceId::Number(RESOURCE_TYPE_RCDATA), ResourceId::Number(40), 0, certificate));
        sections.push_back({".rsrc", WriteResourceTree(entries, resourceAddress)});
        // One block of base relocations for the code page.
        Bytes relocations;
        AppendU32(relocations, SECTION_ALIGN);
        AppendU32(relocations, 12);
        relocations.insert(relocations.end(), {0x10, 0x30, 0x20, 0x30});
        sections.push_back({".reloc", relocations});
    }
    Put16(image, pe + 6, static_cast<uint16_t>(sections.size()));
    uint32_t table = optional + optionalSize, address = SECTION_ALIGN;
    for (size_t i = 0; i < sections.size(); ++i) {
        Section& section = sections[i];
        uint32_t size = static_cast<uint32_t>(section.data.size());
        uint32_t header = table + static_cast<uint32_t>(i) * 40, raw = static_cast<uint32_t>(image.size());
        memcpy(&image[header], section.name, strlen(section.name));
        Put32(image, header + 8, size);
        Put32(image, header + 12, address);
        Put32(image, header + 16, (size + FILE_ALIGN - 1) & ~(FILE_ALIGN - 1));
        Put32(image, header + 20, raw);
        if (std::string(section.name) == ".rsrc") {
            Put32(image, directories + 2 * 8, address);
            Put32(image, directories + 2 * 8 + 4, size);
        } else if (std::string(section.name) == ".reloc") {
            Put32(image, directories + 5 * 8, address);
            Put32(image, directories + 5 * 8 + 4, size);
        }
        section.data.resize((size + FILE_ALIGN - 1) & ~(FILE_ALIGN - 1), 0);
        image.insert(image.end(), section.data.begin(), section.data.end());
        address += (size + SECTION_ALIGN - 1) & ~(SECTION_ALIGN - 1);
    }
    Put32(image, optional + 56, address);
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

const std::vector<TreeEntry>& UnicodeTree()
{
    static const std::vector<TreeEntry> tree = [] {
        std::vector<TreeEntry> entries = {
            {"app.exe", "MZ program"},
            {"\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B/", ""}, // Документы/
            {"\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B/"
             "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 2024.txt", // Отчёт 2024.txt
             "\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82\n"},
            {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC.txt", "\xCE\xB3\xCE\xB5\xCE\xB9\xCE\xAC\n"},
            {"\xE8\xAA\xAC\xE6\x98\x8E\xE6\x9B\xB8/", ""}, // 説明書/
            {"\xE8\xAA\xAC\xE6\x98\x8E\xE6\x9B\xB8/\xE8\xAA\xAD\xE3\x82\x93\xE3\x81\xA7.txt", "\xE8\xAA\xAD\n"},
            {"Caf\xC3\xA9 cr\xC3\xA8me.txt", "caf\xC3\xA9"},
            {"\xF0\x9F\x93\xA6 box.txt", "boxed"}, // U+1F4E6, outside the BMP
            {"empty.txt", ""},
            {"\xD0\x9F\xD1\x83\xD1\x81\xD1\x82\xD0\xBE.dat", ""}, // Пусто.dat
            {"empty folder/", ""},
            {"\xE7\xA9\xBA/", ""}, // 空/
        };
        std::string deep;
        for (const char* part : {"a/", "b/", "c/", "d/", "e/", "f/", "g/"}) {
            deep += part;
            entries.push_back({deep, ""});
        }
        std::string text;
        while (text.size() < 100000)
            text += "line " + std::to_string(text.size()) + "\n";
        entries.push_back({deep + "deep.txt", text});
        return entries;
    }();
    return tree;
}

void WriteTree(const std::string& root, const std::vector<TreeEntry>& tree)
{
    for (const TreeEntry& entry : tree) {
        if (entry.name.back() == '/')
            ASSERT_EQ(0, mkdir((root + "/" + entry.name).c_str(), 0755)) << entry.name;
        else
            WriteText(root + "/" + entry.name, entry.content);
    }
}

void ExpectArchiveHoldsTree(const Bytes& zip, const std::vector<TreeEntry>& tree)
{
    ZipCheck check;
    VerifyZip(CArchiveBytes(zip.data(), zip.size()), 0, check);
    ASSERT_TRUE(check.problems.empty()) << check.problems.front();
    std::map<std::string, const ZipEntryCheck*> entries;
    for (const ZipEntryCheck& entry : check.entries) {
        EXPECT_TRUE(entries.emplace(entry.name, &entry).second) << entry.name;
        bool ascii = std::all_of(entry.name.begin(), entry.name.end(),
                                 [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
        EXPECT_EQ(!ascii, (entry.flags & 0x0800) != 0) << entry.name;
    }
    for (const TreeEntry& entry : tree) {
        auto found = entries.find(entry.name);
        bool folder = entry.name.back() == '/';
        // A folder with something in it may stand only in the names below it.
        bool empty = std::none_of(tree.begin(), tree.end(), [&](const TreeEntry& other) {
            return other.name.size() > entry.name.size() && other.name.compare(0, entry.name.size(), entry.name) == 0;
        });
        if (found == entries.end()) {
            EXPECT_TRUE(folder && !empty) << entry.name << " is missing";
            continue;
        }
        uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(entry.content.data()),
                                                   static_cast<uInt>(entry.content.size())));
        EXPECT_EQ(entry.content.size(), found->second->size) << entry.name;
        EXPECT_EQ(crc, found->second->crc32) << entry.name;
        EXPECT_TRUE(folder || found->second->verified) << entry.name;
        entries.erase(found);
    }
    for (const auto& extra : entries)
        ADD_FAILURE() << extra.first << " is not in the folder";
}

Bytes InstallerArchive(const Bytes& installer, uint32_t type)
{
    ReadPackage package;
    std::string error;
    const ReadContainer* container = ReadPackageFile(installer, package, error) ? package.Kept(type) : nullptr;
    const ReadRecord* record = container ? container->Find(RECORD_ARCHIVE) : nullptr;
    if (!record || record->DataOffset() + record->size > installer.size())
        return Bytes();
    Bytes zip(installer.begin() + static_cast<ptrdiff_t>(record->DataOffset()),
              installer.begin() + static_cast<ptrdiff_t>(record->DataOffset() + record->size));
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    DescrambleRecord(zip.data(), static_cast<ptrdiff_t>(zip.size()), key);
    return zip;
}

Bytes WithCoreArchive(const Bytes& installer, const Bytes& zip)
{
    ReadPackage package;
    std::string error;
    if (!ReadPackageFile(installer, package, error) || !package.Kept(CONTAINER_CORE))
        return Bytes();
    const ReadContainer* core = package.Kept(CONTAINER_CORE);
    Bytes file(installer.begin(), installer.begin() + static_cast<ptrdiff_t>(core->offset));
    Bytes container = SerializeContainer(CONTAINER_CORE, core->header.created, {{RECORD_ARCHIVE, zip}});
    file.insert(file.end(), container.begin(), container.end());
    return file;
}

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
