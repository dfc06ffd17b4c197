// Entry names as kxpack judges them: every name Windows can hold, counted
// in UTF-16 units, letter case compared by the simple upper-case mapping,
// and messages that name the part and the rule; and the flag that says a
// name kxpack writes is UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/ZipFormat.h"
#include "lib/Bytes.h"
#include "lib/EntryNames.h"
#include "lib/ZipHeaders.h"

namespace {

const std::string EMOJI = "\xF0\x9F\x98\x80"; // U+1F600: two UTF-16 units

std::string Repeat(const std::string& text, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += text;
    return out;
}

TEST(EntryNamesTest, NamesInAnyScriptAreTaken)
{
    for (const char* name : {"\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B/"
                             "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.txt",  // Документы/Отчёт.txt
                             "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC.txt", // Ελληνικά.txt
                             "\xE8\xAA\xAC\xE6\x98\x8E\xE6\x9B\xB8/",            // 説明書/
                             "Caf\xC3\xA9 cr\xC3\xA8me.txt",                      // Café crème.txt
                             "\xF0\x9F\x93\xA6 box.txt",                          // 📦 box.txt
                             "COM10.txt", "CONSOLE", "nul-device.txt", ".hidden", "a..b"}) {
        EXPECT_EQ("", EntryNameProblem(name)) << name;
    }
}

// 200 units for a name and 188 for its folder, surrogate pairs counting two.
TEST(EntryNamesTest, LengthsAreCountedInUtf16Units)
{
    EXPECT_EQ("", EntryNameProblem(Repeat(EMOJI, 100)));
    EXPECT_EQ("\"" + Repeat(EMOJI, 100) + "a\": the name is 201 UTF-16 units long; at most 200 fit below every "
              "installation folder",
              EntryNameProblem(Repeat(EMOJI, 100) + "a"));
    // Three bytes a unit: 200 of them are 600 bytes, and still a name.
    EXPECT_EQ("", EntryNameProblem(Repeat("\xE8\xAA\xAC", 200)));
    EXPECT_NE("", EntryNameProblem(Repeat("\xE8\xAA\xAC", 201)));

    EXPECT_EQ("", EntryNameProblem(Repeat(EMOJI, 94) + "/x.txt"));
    EXPECT_EQ("", EntryNameProblem(Repeat(EMOJI, 94) + "/"));
    std::string deep = Repeat(EMOJI, 94) + "a/x";
    EXPECT_EQ("\"" + deep + "\": its folder's name is 189 UTF-16 units long; at most 188 fit below every "
              "installation folder",
              EntryNameProblem(deep));
    EXPECT_NE("", EntryNameProblem(Repeat(EMOJI, 94) + "a/"));
}

TEST(EntryNamesTest, EachProblemNamesItsPartAndRule)
{
    struct Case {
        const char* name;
        const char* message;
    };
    for (const Case& c : {
             Case{"docs/CON.txt", "\"docs/CON.txt\": \"CON.txt\" names a device"},
             Case{"com\xC2\xB9.log", "\"com\xC2\xB9.log\" names a device"},
             Case{"lpt\xC2\xB3", "names a device"},
             Case{"sub/conout$", "\"conout$\" names a device"},
             Case{"nul .txt", "\"nul .txt\" names a device"},
             Case{"dir./x.txt", "\"dir.\" ends in a dot or a blank, which Windows drops from names"},
             Case{"\xD0\xB8\xD0\xBC\xD1\x8F ", "\"\xD0\xB8\xD0\xBC\xD1\x8F \" ends in a dot or a blank"},
             Case{"a/../b", "its part \"..\" is no name"},
             Case{". ./b", "its part \". .\" is no name"},
             Case{"a//b", "has an empty part (two slashes in a row)"},
             Case{"/abs", "begins with a slash"},
             Case{"a:b", "Windows names cannot hold any of < > : \" \\ | ? * (it holds \":\")"},
             Case{"a\\b", "(it holds \"\\\")"},
             Case{"bell\x07", "cannot hold control characters (it holds U+0007)"},
             Case{"Caf\xE9.txt", "\"Caf\\xE9.txt\": the file system holds this name in bytes that are not UTF-8"},
             Case{"a\xC0\xAF" "b", "\"a\\xC0\\xAFb\": the file system holds this name in bytes that are not UTF-8"},
             Case{"Uninstall.EXE", "writes the uninstaller under this name"},
             Case{"SETUP.zip/readme.txt", "wrote their temporary archive under this name"},
         }) {
        std::string problem = EntryNameProblem(c.name);
        EXPECT_NE(std::string::npos, problem.find(c.message)) << c.name << ": " << problem;
    }
    // An archive made of the folder "." names its entries "./x": told how to make it.
    EXPECT_EQ("\"./app.exe\": its part \".\" is no name: a part of dots and blanks only (such as \".\" or \"..\") "
              "names no file or folder below the installation folder (an archive made of the folder \".\" names "
              "its entries \"./...\"; make it of the folder's entries instead)",
              EntryNameProblem("./app.exe"));
    // Reserved only at the top.
    EXPECT_EQ("", EntryNameProblem("tools/Uninstall.exe"));
}

// The simple mapping, unit by unit: one character for one, nothing that
// grows (ß stays ß), surrogates as they are.
TEST(EntryNamesTest, UpperCaseIsTheSimpleMappingOfEachUnit)
{
    std::u16string name = u"a\u00E4\u0436\u03C3\u03C2\u00DF\u01C6\U00010428z";
    UpcaseName(&name[0], name.size());
    EXPECT_EQ(u"A\u00C4\u0416\u03A3\u03A3\u00DF\u01C4\U00010428Z", name);
}

TEST(EntryNamesTest, CollisionsBeyondAsciiAreFoundAndNamed)
{
    struct Case {
        std::vector<std::string> names;
        ZipRule rule;
        const char* text;
    };
    // Файл, файл
    const std::string file = "\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB", lower = "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB";
    for (const Case& c : {
             Case{{file + ".txt", "b.txt", lower + ".txt"}, ZipRule::LetterCase,
                  "\"\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt\": differs from \"\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.txt\" only "
                  "in letter case; Windows would make them one file"},
             Case{{file + "/a.txt", lower + "/b.txt"}, ZipRule::LetterCase,
                  "\"\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB/b.txt\": its folder \"\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB\" differs "
                  "from \"\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB\" only in letter case; Windows would make them one folder"},
             // Final and medial sigma have one capital.
             Case{{"\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82", "\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x83/"},
                  ZipRule::LetterCase, "Windows would take them for one name"},
             Case{{"a.txt", "b.txt", "a.txt"}, ZipRule::Duplicate, "\"a.txt\": is in the archive twice"},
             Case{{"bin", "bin/a.dll"}, ZipRule::FileAndFolder, "\"bin/a.dll\": \"bin\" is both a file and a folder"},
             Case{{"\xE8\xAA\xAC/", "\xE8\xAA\xAC"}, ZipRule::FileAndFolder,
                  "\"\xE8\xAA\xAC\": \"\xE8\xAA\xAC\" is both a file and a folder"},
             // No simple upper case for ß: "STRASSE" is another name, as is
             // the one with a capital sharp s.
             Case{{"Stra\xC3\x9F" "e.txt", "STRASSE.txt", "STRA\xE1\xBA\x9E" "E.txt"}, ZipRule::None, ""},
             // Surrogates stay as they are: Deseret's two cases are two names.
             Case{{"\xF0\x90\x90\xA8.txt", "\xF0\x90\x90\x80.txt"}, ZipRule::None, ""},
             // A folder spelled alike each time is one folder.
             Case{{"Docs/", "Docs/a.txt", "Docs/b/c.txt", "docs.txt"}, ZipRule::None, ""},
         }) {
        NameCollision collision = FindNameCollision(c.names);
        EXPECT_EQ(c.rule, collision.rule) << c.names.back();
        EXPECT_NE(std::string::npos, collision.text.find(c.text)) << collision.text;
        EXPECT_EQ(collision.text, EntryCollisionProblem(c.names));
        if (c.rule != ZipRule::None)
            EXPECT_EQ(c.names.size() - 1, collision.entry) << collision.text;
    }
}

TEST(EntryNamesTest, DecomposedNamesDrawAWarning)
{
    // "Café" with e and a combining acute accent, as a Mac writes it.
    EXPECT_EQ("\"Cafe\xCC\x81.txt\": not in Unicode normal form C (as names copied from a Mac often are); on "
              "Windows it looks like the composed name but is a different file",
              EntryNameWarning("Cafe\xCC\x81.txt"));
    EXPECT_NE(std::string::npos, EntryNameWarning("Re\xCC\x81sume\xCC\x81/").find("is a different folder"));
    for (const char* name : {"Caf\xC3\xA9.txt", "plain.txt", "\xE8\xAA\xAC\xE6\x98\x8E.txt", "\xF0\x9F\x98\x80"})
        EXPECT_EQ("", EntryNameWarning(name)) << name;
}

TEST(EntryNamesTest, NamesThatAreNotAsciiAreWrittenAsFlaggedUtf8)
{
    for (const std::string name : {std::string("plain/name.txt"), std::string("\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.txt"),
                                   std::string("\xF0\x9F\x93\xA6/")}) {
        SCOPED_TRACE(name);
        ZipHeaderFields fields;
        fields.name = name;
        uint16_t expected = name == "plain/name.txt" ? 0 : ZIP_FLAG_UTF8;
        Bytes local = ZipLocalHeader(fields), central;
        AppendZipCentralHeader(fields, central);
        EXPECT_EQ(expected, ReadU16(local.data() + 6));
        EXPECT_EQ(expected, ReadU16(central.data() + 8));
        // The name's bytes as given, in both.
        EXPECT_EQ(name, std::string(local.begin() + ZIP_LOCAL_BYTES, local.end()));
        EXPECT_EQ(name, std::string(central.begin() + ZIP_CENTRAL_BYTES, central.end()));
    }
}

} // namespace
