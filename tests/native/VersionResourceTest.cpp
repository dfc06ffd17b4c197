// The version resource Explorer shows for the installer: laid out as
// Windows reads it (lengths, 4-byte boundaries, the fixed part's values),
// read back, and damaged ones refused without reading past their end.
#include <gtest/gtest.h>

#include <algorithm>

#include "lib/VersionResource.h"

namespace {

VersionStrings Kestrel()
{
    VersionStrings strings;
    strings.companyName = u"Kestrel M\u00e4rkte \u041e\u041e\u041e";
    strings.fileDescription = u"Kestrel Trader Setup \U0001F985";
    strings.fileVersion = u"2.4.1";
    strings.productName = u"Kestrel Trader";
    strings.productVersion = u"2.4.1.117";
    return strings;
}

uint16_t Word(const Bytes& data, size_t at)
{
    return static_cast<uint16_t>(data[at] | data[at + 1] << 8);
}

uint32_t Dword(const Bytes& data, size_t at)
{
    return uint32_t(Word(data, at)) | uint32_t(Word(data, at + 2)) << 16;
}

Bytes Utf16(const std::u16string& text)
{
    Bytes out;
    for (char16_t unit : text) {
        out.push_back(static_cast<uint8_t>(unit));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return out;
}

// Where the block named `key` starts: its name, with its null, follows the
// 6-byte header.
size_t BlockAt(const Bytes& data, const std::u16string& key)
{
    Bytes name = Utf16(key + u'\0');
    auto found = std::search(data.begin(), data.end(), name.begin(), name.end());
    EXPECT_NE(data.end(), found) << "no block named " << key.size() << " units";
    return found == data.end() ? 0 : size_t(found - data.begin()) - 6;
}

size_t Align4(size_t value)
{
    return (value + 3) / 4 * 4;
}

TEST(VersionResourceTest, LayoutIsWhatWindowsReads)
{
    VersionStrings strings = Kestrel();
    Bytes data = MakeVersionResource(strings);
    ASSERT_GE(data.size(), 92u);

    // VS_VERSION_INFO: the whole resource, a 52-byte binary value after
    // the name's 32 bytes and 2 of padding.
    EXPECT_EQ(data.size(), Word(data, 0));
    EXPECT_EQ(52u, Word(data, 2));
    EXPECT_EQ(0u, Word(data, 4));
    EXPECT_EQ(Utf16(std::u16string(u"VS_VERSION_INFO") + u'\0'), Bytes(data.begin() + 6, data.begin() + 38));
    const uint32_t fixed[] = {0xFEEF04BD, 0x00010000, 0x00020004, 0x00010000, 0x00020004, 0x00010075,
                              0x3F,       0,          0x00040004, 1,          0,          0,          0};
    for (size_t i = 0; i < 13; ++i)
        EXPECT_EQ(fixed[i], Dword(data, 40 + 4 * i)) << "fixed part, field " << i;

    // StringFileInfo right after, holding the one table, which holds the
    // five strings in order, each on a 4-byte boundary; then VarFileInfo
    // up to the end.
    size_t fileInfo = BlockAt(data, u"StringFileInfo"), table = BlockAt(data, u"040904B0");
    EXPECT_EQ(92u, fileInfo);
    EXPECT_EQ(fileInfo + 36, table);
    EXPECT_EQ(fileInfo + Word(data, fileInfo), table + Word(data, table));
    const std::pair<std::u16string, std::u16string> texts[] = {
        {u"CompanyName", strings.companyName},       {u"FileDescription", strings.fileDescription},
        {u"FileVersion", strings.fileVersion},       {u"ProductName", strings.productName},
        {u"ProductVersion", strings.productVersion},
    };
    size_t next = table + 24, end = 0;
    for (const auto& text : texts) {
        size_t at = BlockAt(data, text.first);
        EXPECT_EQ(next, at) << text.second.size();
        EXPECT_EQ(0u, at % 4);
        size_t valueAt = Align4(at + 6 + 2 * (text.first.size() + 1));
        EXPECT_EQ(text.second.size() + 1, Word(data, at + 2)) << "in units, with the null";
        EXPECT_EQ(1u, Word(data, at + 4));
        EXPECT_EQ(valueAt + 2 * (text.second.size() + 1), at + Word(data, at)) << "the block ends with its null";
        EXPECT_EQ(Utf16(text.second + u'\0'),
                  Bytes(data.begin() + valueAt, data.begin() + valueAt + 2 * (text.second.size() + 1)));
        end = at + Word(data, at);
        next = Align4(end);
    }
    EXPECT_EQ(end, table + Word(data, table)) << "the table ends with its last string";
    size_t varInfo = BlockAt(data, u"VarFileInfo"), translation = BlockAt(data, u"Translation");
    EXPECT_EQ(Align4(fileInfo + Word(data, fileInfo)), varInfo);
    EXPECT_EQ(data.size(), varInfo + Word(data, varInfo));
    EXPECT_EQ(varInfo + 32, translation);
    EXPECT_EQ(4u, Word(data, translation + 2));
    EXPECT_EQ(0u, Word(data, translation + 4));
    EXPECT_EQ(0x04B00409u, Dword(data, data.size() - 4)) << "U.S. English, UTF-16";

    ResourceEntry entry = VersionResourceEntry(strings);
    EXPECT_TRUE(entry.type == ResourceId::Number(RESOURCE_TYPE_VERSION));
    EXPECT_TRUE(entry.name == ResourceId::Number(1));
    EXPECT_EQ(1033u, entry.language);
    EXPECT_EQ(data, entry.data);
}

TEST(VersionResourceTest, OurResourceReadsBack)
{
    VersionStrings strings = Kestrel();
    VersionInfo info;
    std::string error;
    ASSERT_TRUE(ReadVersionResource(MakeVersionResource(strings), info, error)) << error;
    EXPECT_TRUE(info.hasFixedInfo);
    EXPECT_EQ("2.4.1.0", VersionNumbersText(info.fileVersion));
    EXPECT_EQ("2.4.1.117", VersionNumbersText(info.productVersion));
    EXPECT_EQ(0x00040004u, info.fileOs);
    EXPECT_EQ(1u, info.fileType);
    EXPECT_EQ(0u, info.fileFlags);
    EXPECT_EQ(u"040904B0", info.tableKey);
    std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {u"CompanyName", strings.companyName}, {u"FileDescription", strings.fileDescription},
        {u"FileVersion", u"2.4.1"},            {u"ProductName", u"Kestrel Trader"},
        {u"ProductVersion", u"2.4.1.117"},
    };
    EXPECT_EQ(expected, info.strings);
    EXPECT_EQ((std::vector<uint32_t>{0x04B00409}), info.translations);

    // Empty texts keep their place; a version that is no version is kept
    // as text, the fixed part saying 0.
    strings = VersionStrings();
    strings.fileVersion = u"beta";
    ASSERT_TRUE(ReadVersionResource(MakeVersionResource(strings), info, error)) << error;
    ASSERT_EQ(5u, info.strings.size());
    EXPECT_EQ(u"", info.strings[0].second);
    EXPECT_EQ(u"beta", info.strings[2].second);
    EXPECT_EQ("0.0.0.0", VersionNumbersText(info.fileVersion));
}

// A block written the way the format allows, independently of the code
// under test: header, name, padding, value, children on 4-byte boundaries.
Bytes TestBlock(const std::u16string& key, uint16_t type, uint16_t valueLength, const Bytes& value,
                const std::vector<Bytes>& children)
{
    Bytes out(6, 0);
    Bytes name = Utf16(key + u'\0');
    out.insert(out.end(), name.begin(), name.end());
    out.resize(Align4(out.size()));
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        out.resize(Align4(out.size()));
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = static_cast<uint8_t>(out.size());
    out[1] = static_cast<uint8_t>(out.size() >> 8);
    out[2] = static_cast<uint8_t>(valueLength);
    out[3] = static_cast<uint8_t>(valueLength >> 8);
    out[4] = static_cast<uint8_t>(type);
    return out;
}

Bytes TestString(const std::u16string& key, const std::u16string& value)
{
    return TestBlock(key, 1, static_cast<uint16_t>(value.size() + 1), Utf16(value + u'\0'), {});
}

TEST(VersionResourceTest, ReadsOtherProgramsResources)
{
    // No fixed part, a Russian table first, a block of an unknown kind, an
    // empty value written with no length, padding after the end.
    Bytes russian = TestBlock(u"041904E3", 1, 0, {},
                              {TestString(u"CompanyName", u"\u041a\u0435\u0441\u0442\u0440\u0435\u043b"),
                               TestBlock(u"Comments", 1, 0, {}, {}), TestString(u"PrivateBuild", u"7")});
    Bytes english = TestBlock(u"040904B0", 1, 0, {}, {TestString(u"CompanyName", u"Kestrel")});
    Bytes translations = {0x19, 0x04, 0xE3, 0x04, 0x09, 0x04, 0xB0, 0x04};
    Bytes data = TestBlock(u"VS_VERSION_INFO", 0, 0, {},
                           {TestBlock(u"Unknown", 0, 3, {1, 2, 3}, {}),
                            TestBlock(u"StringFileInfo", 1, 0, {}, {russian, english}),
                            TestBlock(u"VarFileInfo", 1, 0, {}, {TestBlock(u"Translation", 0, 8, translations, {})})});
    data.insert(data.end(), {0, 0});
    VersionInfo info;
    std::string error;
    ASSERT_TRUE(ReadVersionResource(data, info, error)) << error;
    EXPECT_FALSE(info.hasFixedInfo);
    EXPECT_EQ(u"041904E3", info.tableKey);
    std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {u"CompanyName", u"\u041a\u0435\u0441\u0442\u0440\u0435\u043b"}, {u"Comments", u""}, {u"PrivateBuild", u"7"}};
    EXPECT_EQ(expected, info.strings);
    EXPECT_EQ((std::vector<uint32_t>{0x04E30419, 0x04B00409}), info.translations);
}

TEST(VersionResourceTest, DamagedResourcesAreRefused)
{
    const Bytes good = MakeVersionResource(Kestrel());
    VersionInfo info;
    std::string error;
    size_t table = BlockAt(good, u"040904B0"), company = BlockAt(good, u"CompanyName");
    const struct {
        const char* what;
        size_t at;
        uint16_t value;
        const char* reason;
    } damages[] = {
        {"a resource longer than its data", 0, uint16_t(good.size() + 4), "bytes long"},
        {"a resource too short for its name", 0, 20, "has no end"},
        {"a fixed part that is not one", 40, 0x1234, "VS_FIXEDFILEINFO"},
        {"a fixed part of another size", 2, 48, "VS_FIXEDFILEINFO"},
        {"a table longer than its parent", table, 0x2000, "bytes long"},
        {"a string of no length", company, 0, "bytes long"},
        {"a string's value past its end", company + 2, 400, "runs past the block's end"},
        {"a value of an unknown type", company + 4, 7, "unknown value type"},
        {"a name that is not the version's", 6, 'W', "VS_VERSION_INFO"},
    };
    for (const auto& damage : damages) {
        Bytes data = good;
        data[damage.at] = static_cast<uint8_t>(damage.value);
        data[damage.at + 1] = static_cast<uint8_t>(damage.value >> 8);
        EXPECT_FALSE(ReadVersionResource(data, info, error)) << damage.what;
        EXPECT_NE(std::string::npos, error.find(damage.reason)) << damage.what << ": " << error;
    }
    for (size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(ReadVersionResource(Bytes(good.begin(), good.begin() + size), info, error)) << size;

    // Any word made 0 or 0xFFFF: read or refused, without going round for
    // ever or reading past the end.
    for (size_t at = 0; at + 1 < good.size(); at += 2)
        for (uint16_t value : {0, 0xFFFF}) {
            Bytes data = good;
            data[at] = data[at + 1] = static_cast<uint8_t>(value);
            ReadVersionResource(data, info, error);
        }
}

TEST(VersionResourceTest, VersionTexts)
{
    VersionNumbers numbers;
    ASSERT_TRUE(ParseVersionNumbers("2.4.1", numbers));
    EXPECT_EQ((VersionNumbers{2, 4, 1, 0}), numbers);
    ASSERT_TRUE(ParseVersionNumbers("65535.0.00001.7", numbers));
    EXPECT_EQ((VersionNumbers{65535, 0, 1, 7}), numbers);
    ASSERT_TRUE(ParseVersionNumbers("3", numbers));
    EXPECT_EQ((VersionNumbers{3, 0, 0, 0}), numbers);
    for (const char* bad : {"", "1.", ".1", "1..2", "1.2.3.4.5", "65536", "000001", "1.a", " 1", "1,2", "-1", "2.4b"})
        EXPECT_FALSE(ParseVersionNumbers(bad, numbers)) << bad;

    VersionStrings strings = Kestrel();
    std::string error;
    EXPECT_TRUE(CheckVersionStrings(strings, error)) << error;
    strings.productVersion = u"2.4 beta";
    EXPECT_FALSE(CheckVersionStrings(strings, error));
    EXPECT_NE(std::string::npos, error.find("2.4 beta")) << error;
    strings = Kestrel();
    strings.productName = std::u16string(u"Kestrel\0Trader", 14);
    EXPECT_FALSE(CheckVersionStrings(strings, error));
    strings = Kestrel();
    strings.companyName = std::u16string(MAX_VERSION_TEXT + 1, u'k');
    EXPECT_FALSE(CheckVersionStrings(strings, error));

    // What the check refuses is cut, not split in a surrogate pair.
    strings.companyName = std::u16string(MAX_VERSION_TEXT - 1, u'k') + u"\U0001F985";
    VersionInfo info;
    ASSERT_TRUE(ReadVersionResource(MakeVersionResource(strings), info, error)) << error;
    EXPECT_EQ(std::u16string(MAX_VERSION_TEXT - 1, u'k'), info.strings[0].second);
}

} // namespace
