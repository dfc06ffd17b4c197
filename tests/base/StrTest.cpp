#include "base/Str.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Repeat(wchar_t ch, size_t count)
{
    return std::wstring(count, ch);
}

TEST(StrTest, AssignCutsAtCapacity)
{
    TStrStatic<0x104> path;
    std::wstring text = Repeat(L'a', 300);
    EXPECT_EQ(259u, path.Assign(text.c_str()));
    EXPECT_EQ(259u, path.GetLength());
    EXPECT_EQ(text.substr(0, 259), path.GetString());

    TStrStatic<4> small;
    TStrStatic<0x100> source(L"abcdef");
    EXPECT_STREQ(L"abc", small.Assign(source));
    EXPECT_EQ(3u, small.GetLength());

    EXPECT_EQ(0u, small.Assign(static_cast<const wchar_t*>(nullptr)));
    EXPECT_TRUE(small.IsEmpty());
}

TEST(StrTest, AssignFromOwnBufferKeepsText)
{
    TStrStatic<16> text(L"abcdef");
    text.Assign(text.GetString() + 2);
    EXPECT_STREQ(L"cdef", text.GetString());
}

TEST(StrTest, StringWithoutBufferDoesNothing)
{
    CStr none;
    EXPECT_EQ(0u, none.Assign(L"abc"));
    EXPECT_EQ(nullptr, none.Assign(TStrStatic<8>(L"x")));
    EXPECT_EQ(-1, none.Format(L"%d", 1));
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_EQ(0, none.CompareNoCase(L"abc"));
    EXPECT_EQ(-1, none.Find(L'a'));
    EXPECT_STREQ(L"", none.GetString());
}

TEST(StrTest, FormatEmptiesWhenTextDoesNotFit)
{
    TStrStatic<0x104> path(L"previous");
    std::wstring longPath = L"C:\\" + Repeat(L'x', 257); // 260 characters
    EXPECT_EQ(-1, path.Format(L"%s", longPath.c_str()));
    EXPECT_TRUE(path.IsEmpty());
    EXPECT_EQ(0u, path.GetLength());

    // 259 characters fill the buffer exactly.
    std::wstring fits = Repeat(L'y', 259);
    EXPECT_EQ(259, path.Format(L"%s", fits.c_str()));
    EXPECT_EQ(fits, path.GetString());

    // Null format: -1 and the string stays as it was.
    EXPECT_EQ(-1, path.Format(nullptr));
    EXPECT_EQ(259u, path.GetLength());
}

TEST(StrTest, FormatPrintsWideTextsAndNumbers)
{
    // The wizard titles are built this way: %s takes a wide text.
    TStrStatic<0x100> title;
    EXPECT_EQ(17, title.Format(L"%s Setup %d", L"Terminal", 42));
    EXPECT_STREQ(L"Terminal Setup 42", title.GetString());
}

TEST(StrTest, UpdateLengthAfterSystemWrite)
{
    TStrStatic<8> text;
    wcscpy(text.GetBuffer(), L"abc");
    text.UpdateLength();
    EXPECT_EQ(3u, text.GetLength());

    // A buffer filled to the last character without terminator is cut.
    wmemset(text.GetBuffer(), L'z', 8);
    text.UpdateLength();
    EXPECT_EQ(7u, text.GetLength());
    EXPECT_EQ(0, text.GetBuffer()[7]);
}

TEST(StrTest, TruncateAndDelete)
{
    TStrStatic<32> text(L"C:\\Program Files\\App");
    text.Truncate(100);
    EXPECT_EQ(20u, text.GetLength());
    text.Truncate(static_cast<unsigned>(text.ReverseFind(L'\\')));
    EXPECT_STREQ(L"C:\\Program Files", text.GetString());

    text.Delete(2, 9);
    EXPECT_STREQ(L"C:Files", text.GetString());
    text.Delete(3, 100); // count cut to the rest
    EXPECT_STREQ(L"C:F", text.GetString());
    EXPECT_EQ(3u, text.GetLength());
    text.Delete(3, 1);
    text.Delete(0, 0);
    EXPECT_STREQ(L"C:F", text.GetString());
}

TEST(StrTest, Searches)
{
    TStrStatic<32> text(L"a\\b\\c");
    EXPECT_EQ(1, text.Find(L'\\'));
    EXPECT_EQ(3, text.ReverseFind(L'\\'));
    EXPECT_EQ(-1, text.Find(L'x'));
    EXPECT_EQ(L'c', text.GetAt(4));
    EXPECT_EQ(0, text.GetAt(5));

    TStrStatic<32> words(L"Setup SETUP setup");
    EXPECT_EQ(0, words.FindNoCase(L"setup", 0));
    EXPECT_EQ(6, words.FindNoCase(L"setup", 1));
    EXPECT_EQ(-1, words.FindNoCase(L"setup", 17));
    EXPECT_EQ(-1, words.FindNoCase(L"", 0));
    EXPECT_EQ(-1, words.FindNoCase(L"setupx", 12));
}

TEST(StrTest, CompareAndReplace)
{
    TStrStatic<32> text(L"C:/Program Files/App");
    EXPECT_EQ(0, text.CompareNoCase(L"c:/program files/app"));
    EXPECT_NE(0, text.CompareNoCase(L"c:/program"));
    EXPECT_EQ(1, text.CompareNoCase(nullptr));
    EXPECT_EQ(0, text.Compare(L"C:/Pxx", 4));
    EXPECT_NE(0, text.Compare(L"c:/", 3));

    text.Replace(L'/', L'\\');
    EXPECT_STREQ(L"C:\\Program Files\\App", text.GetString());
}

TEST(StrTest, ToMultiByte)
{
    TStrStatic<32> text(L"Uninstall");
    char out[32];
    EXPECT_EQ(10, text.ToMultiByte(out, sizeof(out)));
    EXPECT_STREQ("Uninstall", out);

    // Too small: no unterminated half text.
    char small[4] = {'x', 'x', 'x', 'x'};
    text.ToMultiByte(small, sizeof(small));
    EXPECT_EQ(0, small[0]);
    EXPECT_EQ(0, text.ToMultiByte(small, 1));
}

TEST(StrTest, CopiesOwnTheirText)
{
    TStrStatic<16> first(L"one");
    TStrStatic<16> second(first);
    first.Assign(L"two");
    EXPECT_STREQ(L"one", second.GetString());
    second = first;
    EXPECT_STREQ(L"two", second.GetString());
}

} // namespace
