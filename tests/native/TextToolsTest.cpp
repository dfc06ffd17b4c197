// kxpack's text handling: encodings of input files, line breaks, and the
// configuration lookup that must agree with the setup program's.
#include <gtest/gtest.h>

#include "lib/SetupConfigText.h"
#include "lib/TextCodec.h"

namespace {

TEST(TextToolsTest, DecodesByByteOrderMark)
{
    std::u16string text;
    std::string error;
    EXPECT_TRUE(DecodeText({0xFF, 0xFE, 'A', 0, 0x16, 0x04}, text, error));
    EXPECT_EQ(u"A\u0416", text);
    EXPECT_TRUE(DecodeText({0xFE, 0xFF, 0, 'A', 0x04, 0x16}, text, error));
    EXPECT_EQ(u"A\u0416", text);
    EXPECT_TRUE(DecodeText({0xEF, 0xBB, 0xBF, 'A', 0xD0, 0x96}, text, error));
    EXPECT_EQ(u"A\u0416", text);
    EXPECT_TRUE(DecodeText({0xF0, 0x9F, 0x98, 0x80}, text, error)); // outside the BMP: a surrogate pair
    EXPECT_EQ(2u, text.size());
    EXPECT_EQ("\xF0\x9F\x98\x80", ToUtf8(text));

    for (const Bytes& bad : {Bytes{0xFF, 0xFE, 'A'}, Bytes{0xC0, 0x80}, Bytes{0xED, 0xA0, 0x80}, Bytes{0xE0, 0x41},
                             Bytes{0xF4, 0x90, 0x80, 0x80}})
        EXPECT_FALSE(DecodeText(bad, text, error));
}

TEST(TextToolsTest, LineBreaks)
{
    EXPECT_EQ(u"a\r\nb\r\nc\r\n\r\nd", NormalizeLineBreaks(u"a\nb\rc\r\n\nd"));
    EXPECT_EQ(u"k=v\r\n", NormalizeConfigText(u"k=v"));
    EXPECT_EQ(u"k=v\r\n", NormalizeConfigText(u"k=v\n"));
    EXPECT_EQ(u"\r\n", NormalizeConfigText(u""));
}

TEST(TextToolsTest, LookupFollowsTheSetupProgram)
{
    const std::u16string config = u"company_link=\r\n x=1\r\nCompany_name=no\r\ncompany_name=\"Acme\"\r\n"
                                  u"company_program=\"\r\nquoted=\"a\"b\"\r\n";
    std::u16string value;
    ASSERT_TRUE(LookupConfigValue(config, u"company_name=", value));
    EXPECT_EQ(u"Acme", value);
    ASSERT_TRUE(LookupConfigValue(config, u"company_program=", value));
    EXPECT_EQ(u"", value); // a lone quote: found, empty
    ASSERT_TRUE(LookupConfigValue(config, u"quoted=", value));
    EXPECT_EQ(u"a\"b", value);
    EXPECT_FALSE(LookupConfigValue(config, u"company_link=", value));
    EXPECT_FALSE(LookupConfigValue(config, u"x=", value)); // not at the start of its line

    std::vector<std::string> errors, warnings;
    CheckConfigText(config, errors, warnings);
    ASSERT_EQ(2u, errors.size()); // brief missing, program empty
    CheckConfigText(u"company_program=" + std::u16string(600, u'p') + u"\r\ncompany_program_brief=b\r\n"
                    u"company_name=c\r\n", errors, warnings);
    ASSERT_EQ(1u, warnings.size());
    EXPECT_NE(std::string::npos, warnings[0].find("511"));
}

TEST(TextToolsTest, LintFindsWhatTheSetupProgramWouldReadOtherwise)
{
    std::vector<std::string> errors, warnings;
    LintConfigText(u"company_program=P\r\ncompany_name = C\r\n icon_index_1=0\r\ncompany_program=Q\r\n"
                   u"compnay_link=x\r\nlink_nmae_12=y\r\nfile_name_64=z\r\njust text\r\n\r\nicon_file_63=ok\r\n",
                   errors, warnings);
    ASSERT_EQ(3u, errors.size());
    EXPECT_NE(std::string::npos, errors[0].find("line 2: blanks around \"=\"")) << errors[0];
    EXPECT_NE(std::string::npos, errors[0].find("write \"company_name=C\"")) << errors[0];
    EXPECT_NE(std::string::npos, errors[1].find("line 3: blanks")) << errors[1];
    EXPECT_NE(std::string::npos, errors[2].find("line 4: \"company_program\" is set again (first on line 1)"))
        << errors[2];
    ASSERT_EQ(4u, warnings.size());
    EXPECT_NE(std::string::npos, warnings[0].find("\"compnay_link\" (did you mean \"company_link\"?)")) << warnings[0];
    EXPECT_NE(std::string::npos, warnings[1].find("(did you mean \"link_name_12\"?)")) << warnings[1];
    // Shortcuts go up to 63.
    EXPECT_NE(std::string::npos, warnings[2].find("unknown key \"file_name_64\"")) << warnings[2];
    EXPECT_NE(std::string::npos, warnings[3].find("line 8: \"just text\" has no \"=\"")) << warnings[3];
}

TEST(TextToolsTest, ProductVersionsAreNumbersWindowsCanHold)
{
    for (const char16_t* good : {u"2", u"2.4", u"1.0.3.117", u"65535.0.0.65535"}) {
        std::vector<std::string> errors, warnings;
        LintConfigText(u"product_version=" + std::u16string(good) + u"\r\n", errors, warnings);
        EXPECT_TRUE(errors.empty() && warnings.empty()) << ToUtf8(good);
    }
    for (const char16_t* bad : {u"", u"2.", u".2", u"2..4", u"1.2.3.4.5", u"65536", u"v2", u"2.4 beta", u"-1",
                                u"123456"}) {
        std::vector<std::string> errors, warnings;
        LintConfigText(u"product_version=" + std::u16string(bad) + u"\r\n", errors, warnings);
        ASSERT_EQ(1u, errors.size()) << ToUtf8(bad);
        EXPECT_NE(std::string::npos, errors[0].find("not one to four numbers")) << errors[0];
    }
}

TEST(TextToolsTest, ShortcutsEndAtTheFirstIncompleteEntry)
{
    const std::u16string config = u"link_name_1=A.lnk\r\nfile_name_1=a.exe\r\nicon_file_1=a.exe\r\nicon_index_1=0\r\n"
                                  u"link_name_2=B.lnk\r\nfile_name_2=b.exe\r\nicon_file_2=b.exe\r\nicon_index_2=-1\r\n"
                                  u"link_name_4=D.lnk\r\nfile_name_4=d.exe\r\nicon_file_4=d.exe\r\nicon_index_4=0\r\n";
    auto shortcuts = ListConfigShortcuts(config);
    ASSERT_EQ(2u, shortcuts.size());
    EXPECT_EQ(u"b.exe", shortcuts[1].file);
}

} // namespace
