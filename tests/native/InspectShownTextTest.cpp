// What inspect prints of an installer's own bytes: entry names, setup
// configuration lines and uninstall slots may hold anything, and a terminal
// must never receive them raw, nor a JSON reader bytes that are not UTF-8.
#include <gtest/gtest.h>

#include <cstring>

#include "KxpackFixture.h"
#include "TestZipFiles.h"
#include "lib/PackageCrypto.h"
#include "lib/PackageFile.h"
#include "lib/SignedPayload.h"
#include "lib/TextCodec.h"
#include "package/PackageFormat.h"

namespace {

const uint16_t UTF8_NAME = 0x0800;

// The first byte a terminal would act on or could not decode: C0 controls
// but the line break, DEL, C1 controls (as UTF-8) and bytes that are not
// UTF-8. "" when there is none.
std::string FirstUnsafeByte(const std::string& text)
{
    std::u16string decoded;
    for (size_t at = 0; at < text.size();) {
        unsigned char byte = static_cast<unsigned char>(text[at]);
        size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F)
            return "control byte " + std::to_string(byte) + " at " + std::to_string(at);
        if (byte >= 0x80 && (at + length > text.size() || !DecodeUtf8(text.substr(at, length), decoded)))
            return "a byte that is not UTF-8 at " + std::to_string(at);
        if (byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0)
            return "a C1 control at " + std::to_string(at);
        at += length;
    }
    return "";
}

class InspectShownTextTest : public KxpackCliTest {
protected:
    // The test installer with a configuration, program file names and an
    // uninstall list of hostile text, under a hostile file name.
    std::string MakeHostileInstaller()
    {
        EXPECT_EQ(0, Build().exitCode);
        Bytes file = ReadBytes(m_dir / "out.exe");
        ReadPackage package;
        std::string error;
        EXPECT_TRUE(ReadPackageFile(file, package, error)) << error;
        const ReadContainer* licence = package.Kept(CONTAINER_LICENSE);
        const ReadContainer* core = package.Kept(CONTAINER_CORE);
        if (!licence || !core)
            return "";

        std::u16string config = u"company_program=Evil\x1B[2J\x1B[H\ncompany_program_brief=T\x07\x7F\u009B"
                                u"31m\ncompany_name=\u041A\u0438\u0440 C:\\x41 ";
        config.push_back(0xD800); // a lone surrogate
        config += u"\nlink_name_1=Test Product\nfile_name_1=app.exe\nicon_file_1=app.exe\nicon_index_1=0\n";
        CSigningKey key;
        EXPECT_TRUE(key.Load(*s_keys / "main/package-key.pem", error)) << error;
        std::vector<PackageRecord> records;
        for (const auto& record : licence->records)
            records.push_back({record.id, record.data});
        for (auto& record : records)
            if (record.id == RECORD_CONFIG)
                EXPECT_TRUE(PackSignedPayload(EncodeUtf16LeWithBom(config), record.data, error)) << error;
        for (auto& record : records)
            if (record.id == RECORD_CONFIG_SIGNATURE)
                EXPECT_TRUE(key.Sign(records[0].data, record.data, error)) << error;
        EXPECT_EQ(RECORD_CONFIG, records[0].id);
        Bytes hostile(file.begin(), file.begin() + static_cast<ptrdiff_t>(licence->offset));
        Bytes container = SerializeContainer(CONTAINER_LICENSE, licence->header.created, records);
        hostile.insert(hostile.end(), container.begin(), container.end());
        hostile.insert(hostile.end(), file.begin() + static_cast<ptrdiff_t>(core->offset), file.end());

        std::vector<TestZipFile> names = {
            {"app.exe", "MZ"},
            {"\x1B[2J\x1B[Hwiped.txt", "a", UTF8_NAME},
            {"hide\x1B[8m.txt", "b", UTF8_NAME},
            {"bad\xFF\xFE.txt", "c", UTF8_NAME},
            {"\xC2\x9B" "31mc1.txt", "d", UTF8_NAME},
            {"\xD0\x94\xD0\xBE\xD0\xBA.txt", "e", UTF8_NAME}, // Док.txt
            {"Gr\xF6\xDF" "e.txt", "f"},                        // Latin-1, no flag
        };
        hostile = WithCoreArchive(hostile, MakeTestZip(names));

        std::u16string slots[4] = {u"Group\x1B]0;title\x07", u"C:\\Program Files\\x41", u"x", u"\x1B[8mhidden\r"};
        slots[2][0] = 0xDC00;
        Bytes list(4 * UNINSTALL_SLOT_BYTES, 0);
        for (int i = 0; i < 4; ++i)
            memcpy(&list[i * UNINSTALL_SLOT_BYTES], slots[i].data(), slots[i].size() * 2);
        Bytes uninstall = SerializeContainer(CONTAINER_UNINSTALL, 1767225600, {{RECORD_UNINSTALL_LIST, list}});
        hostile.insert(hostile.end(), uninstall.begin(), uninstall.end());
        std::string path = m_dir / "evil\x1B[31m\xFF.exe";
        WriteBytes(path, hostile);
        return path;
    }
};

TEST_F(InspectShownTextTest, TheTextReportShowsControlsAndBadBytesEscaped)
{
    std::string path = MakeHostileInstaller();
    ASSERT_FALSE(path.empty());
    ToolResult text = RunKxpack({"inspect", path});
    EXPECT_EQ(1, text.exitCode) << text.out;
    EXPECT_EQ("", FirstUnsafeByte(text.out)) << text.out;
    for (const std::string& shown : {
             "file:         " + m_dir.Path() + "/evil\\x1B[31m\\xFF.exe (",
             std::string("  \\x1B[2J\\x1B[Hwiped.txt "),
             std::string("  hide\\x1B[8m.txt "),
             std::string("  bad\\xFF\\xFE.txt "),
             std::string("  \\u009B31mc1.txt "),
             std::string("  Gr\\xF6\\xDFe.txt "),
             std::string("  \xD0\x94\xD0\xBE\xD0\xBA.txt "), // valid UTF-8 shows as itself
             std::string("  company_program=Evil\\x1B[2J\\x1B[H\n"),
             std::string("  company_program_brief=T\\x07\\x7F\\u009B31m\n"),
             std::string("  company_name=\xD0\x9A\xD0\xB8\xD1\x80 C:\\\\x41 \xEF\xBF\xBD\n"),
             std::string("  program group  Group\\x1B]0;title\\x07\n"),
             // A backslash stays itself, but where an escape could be read into it.
             std::string("  folder         C:\\Program Files\\\\x41\n"),
             std::string("  file           \\x1B[8mhidden\\x0D\n"),
         })
        EXPECT_NE(std::string::npos, text.out.find(shown)) << shown << "\n" << text.out;
}

TEST_F(InspectShownTextTest, TheJsonReportIsUtf8AndParses)
{
    std::string path = MakeHostileInstaller();
    ASSERT_FALSE(path.empty());
    ToolResult json = RunKxpack({"inspect", "--json", path});
    EXPECT_EQ(1, json.exitCode) << json.out;
    EXPECT_EQ("", FirstUnsafeByte(json.out)) << json.out;
    WriteText(m_dir / "report.json", json.out);
    // Text that is UTF-8 is given exactly; other text (the file name here) in
    // the text report's form.
    const char* check =
        "import json, sys\n"
        "r = json.load(open(sys.argv[1], encoding='utf-8'))\n"
        "names = [e['name'] for a in r['archives'] for e in a['entries']]\n"
        "want = ['\\x1b[2J\\x1b[Hwiped.txt', '\\u009b31mc1.txt', '\\u0414\\u043e\\u043a.txt',\n"
        "        'bad\\\\xFF\\\\xFE.txt', 'Gr\\\\xF6\\\\xDFe.txt']\n"
        "missing = [n for n in want if n not in names]\n"
        "slots = r['uninstallList']\n"
        "if missing or slots[1] != 'C:\\\\Program Files\\\\x41' or slots[3] != '\\x1b[8mhidden\\r':\n"
        "    sys.exit('missing %r among %r, slots %r' % (missing, names, slots))\n"
        "if not r['file'].endswith('/evil\\\\x1B[31m\\\\xFF.exe'): sys.exit('file %r' % r['file'])\n";
    ToolResult parsed = RunProgram("python3", {"-c", check, m_dir / "report.json"});
    EXPECT_EQ(0, parsed.exitCode) << parsed.err << json.out;
}

} // namespace
