#include "base/KeyText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(KeyTextTest, FindText)
{
    EXPECT_EQ(0, FindText(L"/processwait:12", L"/processwait"));
    EXPECT_EQ(2, FindText(L"x /processwait", L"/processwait"));
    EXPECT_EQ(-1, FindText(L"abc", L""));
    EXPECT_EQ(-1, FindText(nullptr, L"a"));
    EXPECT_EQ(-1, FindText(L"abc", nullptr));
    EXPECT_EQ(-1, FindText(L"abc", L"abcd"));
}

struct FindKeyCase {
    const wchar_t* text;
    const wchar_t* key;
    int expected;
};

TEST(KeyTextTest, FindKeyOnlyAtStartOrAfterSeparator)
{
    const FindKeyCase cases[] = {
        {L"/processwait:12", L"/processwait:", 13},
        {L"a|key=1", L"key=", 6},
        {L"line\nkey=1", L"key=", 9},
        // The first occurrence follows a letter, the second a separator.
        {L"xkey=1|key=2", L"key=", 11},
        {L"xkey=1", L"key=", -1},
        // Back to back, each following a letter: never a key.
        {L"xkey=key=", L"key=", -1},
        {L"akey=bkey=|", L"key=", -1},
        {L"x /processwait:1", L"/processwait:", -1},
        {L"key=", L"key=", 4},
        {L"", L"key=", -1},
        {L"abc", L"", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, FindKey(c.text, c.key, KEY_SEPARATORS)) << c.text;

    EXPECT_EQ(-1, FindKey(nullptr, L"k", KEY_SEPARATORS));
    EXPECT_EQ(-1, FindKey(L"k", nullptr, KEY_SEPARATORS));
    EXPECT_EQ(-1, FindKey(L"k", L"k", nullptr));
    EXPECT_EQ(4, FindKey(L"a;k=", L"k=", L";"));
}

TEST(KeyTextTest, GetKeyInt)
{
    int value = 7;
    EXPECT_TRUE(GetKeyInt(L"/processwait:1234", L"/processwait:", &value));
    EXPECT_EQ(1234, value);
    EXPECT_TRUE(GetKeyInt(L"/processwait:12ab", L"/processwait:", &value));
    EXPECT_EQ(12, value);
    EXPECT_TRUE(GetKeyInt(L"/processwait:", L"/processwait:", &value));
    EXPECT_EQ(0, value);

    value = 7;
    EXPECT_FALSE(GetKeyInt(L"/processwait=5", L"/processwait:", &value));
    EXPECT_FALSE(GetKeyInt(L"/processwait", L"/processwait:", &value));
    EXPECT_EQ(7, value);
    EXPECT_FALSE(GetKeyInt(L"/processwait:1", L"/processwait:", nullptr));
}

TEST(KeyTextTest, GetKeyValue)
{
    wchar_t out[8];
    const wchar_t* config = L"company_name=Acme\ncompany_program=\ncompany_link=http://x|y";
    EXPECT_EQ(4u, GetKeyValue(config, L"company_name=", out, 8, nullptr));
    EXPECT_STREQ(L"Acme", out);

    // Key directly followed by a separator: empty value.
    wcscpy(out, L"old");
    EXPECT_EQ(0u, GetKeyValue(config, L"company_program=", out, 8, nullptr));
    EXPECT_STREQ(L"", out);

    // Cut at outChars - 1.
    EXPECT_EQ(7u, GetKeyValue(config, L"company_link=", out, 8, nullptr));
    EXPECT_STREQ(L"http://", out);

    // The value ends at any separator of the given set.
    EXPECT_EQ(1u, GetKeyValue(L"k=a;b", L"k=", out, 8, L";"));
    EXPECT_STREQ(L"a", out);

    wcscpy(out, L"old");
    EXPECT_EQ(0u, GetKeyValue(config, L"missing=", out, 8, nullptr));
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(0u, GetKeyValue(config, L"company_name=", nullptr, 8, nullptr));
    EXPECT_EQ(0u, GetKeyValue(config, L"company_name=", out, 0, nullptr));
    EXPECT_EQ(0u, GetKeyValue(config, L"company_name=", out, 1, nullptr));
    EXPECT_STREQ(L"", out);
}

TEST(KeyTextTest, CopyText)
{
    wchar_t dst[4] = {L'x', L'x', L'x', L'x'};
    CopyText(dst, 4, L"abcdef");
    EXPECT_STREQ(L"abc", dst);
    CopyText(dst, 4, L"z");
    EXPECT_STREQ(L"z", dst);

    // Nothing happens for a one-character destination or a null source.
    dst[0] = L'q';
    CopyText(dst, 1, L"abc");
    CopyText(dst, 4, nullptr);
    EXPECT_EQ(L'q', dst[0]);
}

} // namespace
