// The text store: string-table fallback, language files fed as bytes, and
// the one language file this test program carries as a resource.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/TextStore.h"
#include "res/TextIds.h"

namespace {

// Writes language files field by field.
class LanguageFile {
public:
    LanguageFile(uint32_t dialogs, uint32_t itemLists)
    {
        U32(0);
        U32(dialogs);
        U32(itemLists);
        Text(L"Test language");
    }
    LanguageFile& U32(uint32_t value)
    {
        Append(&value, 4);
        return *this;
    }
    LanguageFile& Text(const std::wstring& text)
    {
        uint16_t head[2] = {static_cast<uint16_t>(text.size() * 2), 0};
        Append(head, 4);
        Append(text.data(), text.size() * 2);
        return *this;
    }
    LanguageFile& Block(uint32_t kind, uint32_t id, uint32_t count)
    {
        return U32(kind).U32(id).U32(count);
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    void Append(const void* data, size_t size)
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), p, p + size);
    }
    std::vector<uint8_t> m_bytes;
};

std::wstring Load(TextStore& store, unsigned id, unsigned capacity = 512, bool* fromFile = nullptr)
{
    std::vector<wchar_t> buffer(capacity, L'#');
    bool found = store.LoadText(id, buffer.data(), capacity);
    if (fromFile)
        *fromFile = found;
    return buffer.data();
}

TEST(TextStoreTest, StringTableWhenTheLocaleHasNoLanguageFile)
{
    TextStore store;
    EXPECT_FALSE(store.SelectLanguage(1033));
    EXPECT_FALSE(store.SelectLanguage(1031));
    EXPECT_EQ(0u, store.GetLanguage());
    bool fromFile = true;
    EXPECT_EQ(L"Do you really want to cancel installation?", Load(store, IDS_CONFIRM_CANCEL, 512, &fromFile));
    EXPECT_FALSE(fromFile);
    // Escapes of the resource compiler, and no translation of | and ^.
    EXPECT_EQ(L"path, like C:\\Program Files\\Korvane", Load(store, IDS_FOLDER_HINT));
    EXPECT_EQ(L"Installation successfully completed. Click the \"Finish\" button to exit", Load(store, IDS_INSTALL_DONE));
    EXPECT_NE(std::wstring::npos, Load(store, IDS_FOLDER_EXISTS).find(L"there.\n\nAre you sure"));
    EXPECT_EQ(L"You should close %s to continue uninstall.\r\n\r\nPlease, close %s application.", Load(store, IDS_CLOSE_PROGRAM));
    EXPECT_EQ(L"  Create directories", Load(store, IDS_STEP_CREATE_DIRECTORIES));
    EXPECT_EQ(L"a|b^c", Load(store, 900));
    EXPECT_EQ(L"", Load(store, 9999));
}

TEST(TextStoreTest, LanguageResourceOfTheProgram)
{
    // This test program carries "LNG" 11, the table's file for locale 1049.
    TextStore store;
    EXPECT_TRUE(store.SelectLanguage(1049));
    EXPECT_EQ(1049u, store.GetLanguage());
    bool fromFile = false;
    EXPECT_EQ(L"Stop?", Load(store, IDS_CONFIRM_CANCEL, 512, &fromFile));
    EXPECT_TRUE(fromFile);
    EXPECT_EQ(L"  Configuring", Load(store, IDS_STEP_CONFIGURING)); // not in the file
}

TEST(TextStoreTest, StringBlockRules)
{
    LanguageFile file(0, 0);
    std::wstring longText(300, L'x');
    file.Block(0, 0, 5)
        .U32(22).Text(L"first")
        .U32(22).Text(L"second")
        .U32(30).Text(L"a|b^c\\nd\\\\e\\tf\\0cut")
        .U32(13).Text(longText)
        .U32(15).Text(L"");
    TextStore store;
    ASSERT_TRUE(store.LoadLanguageData(file.Bytes().data(), file.Bytes().size()));
    EXPECT_EQ(L"first", Load(store, 22));
    EXPECT_EQ(L"a\rb\tc\nd\\e\tf", Load(store, 30));
    EXPECT_EQ(longText.substr(0, 255), Load(store, 13, 256));
    bool fromFile = false;
    EXPECT_EQ(L"", Load(store, 15, 512, &fromFile));
    EXPECT_TRUE(fromFile);

    // A second string block replaces the whole array.
    LanguageFile again(0, 0);
    again.Block(0, 0, 1).U32(30).Text(L"only");
    ASSERT_TRUE(store.LoadLanguageData(again.Bytes().data(), again.Bytes().size()));
    EXPECT_EQ(L"only", Load(store, 30));
    EXPECT_EQ(L"Do you really want to cancel installation?", Load(store, 22));
}

TEST(TextStoreTest, TranslationsMustAskForTheSameArguments)
{
    // 14: "... disk '%s'! Please free %d Mb ...", 36: "... install %s to this folder?",
    // 22: no conversion at all.
    LanguageFile file(0, 0);
    file.Block(0, 0, 9)
        .U32(14).Text(L"Disque '%s' : libérez %d Mo (100%%)")
        .U32(36).Text(L"%s%n")
        .U32(35).Text(L"%d")
        .U32(37).Text(L"%s %s %s")
        .U32(22).Text(L"%s?")
        .U32(26).Text(L"XP 100%")
        .U32(28).Text(L"Fertig, 100%% erledigt")
        .U32(30).Text(L"%ls")
        .U32(29).Text(L"%-8.*s");
    TextStore store;
    ASSERT_TRUE(store.LoadLanguageData(file.Bytes().data(), file.Bytes().size()));
    bool fromFile = false;
    EXPECT_EQ(L"Disque '%s' : libérez %d Mo (100%%)", Load(store, 14, 512, &fromFile));
    EXPECT_TRUE(fromFile);
    EXPECT_EQ(L"Fertig, 100%% erledigt", Load(store, 28));
    // Each of these would read an argument never given, of the wrong kind,
    // or write through %n: the built-in text stands instead.
    for (unsigned id : {36u, 35u, 37u, 22u, 26u, 30u, 29u}) {
        wchar_t builtIn[512];
        LoadStringW(GetModuleHandleW(nullptr), id, builtIn, 512);
        EXPECT_EQ(std::wstring(builtIn), Load(store, id, 512, &fromFile)) << id;
        EXPECT_FALSE(fromFile) << id;
    }
}

class TextStoreDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_parent = CreateWindowExW(0, L"STATIC", L"original caption", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                   nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_parent);
        for (int i = 1; i <= 6; ++i)
            m_children.push_back(CreateWindowExW(0, L"STATIC", (L"child " + std::to_wstring(i)).c_str(),
                                                 WS_CHILD, 0, 0, 10, 10, m_parent, nullptr, nullptr, nullptr));
    }
    void TearDown() override { DestroyWindow(m_parent); }
    std::wstring TextOf(HWND window)
    {
        wchar_t text[256];
        GetWindowTextW(window, text, 256);
        return text;
    }

    HWND m_parent = nullptr;
    std::vector<HWND> m_children;
};

TEST_F(TextStoreDialogTest, OrdinalsMustRise)
{
    LanguageFile file(3, 0);
    file.Block(1, 5, 2).U32(0xFFFFFFFF).Text(L"localised caption").U32(2).Text(L"two").U32(5).Text(L"five");
    file.Block(1, 6, 2).U32(0xFFFFFFFF).Text(L"").U32(5).Text(L"five again").U32(2).Text(L"two again");
    file.Block(1, 7, 0).U32(0xFFFFFFFF).Text(L"caption only");
    TextStore store;
    ASSERT_TRUE(store.LoadLanguageData(file.Bytes().data(), file.Bytes().size()));

    EXPECT_TRUE(store.LocalizeDialog(m_parent, 5));
    EXPECT_EQ(L"localised caption", TextOf(m_parent));
    EXPECT_EQ(L"child 1", TextOf(m_children[0]));
    EXPECT_EQ(L"two", TextOf(m_children[1]));
    EXPECT_EQ(L"child 3", TextOf(m_children[2]));
    EXPECT_EQ(L"five", TextOf(m_children[4]));

    EXPECT_TRUE(store.LocalizeDialog(m_parent, 6));
    EXPECT_EQ(L"localised caption", TextOf(m_parent)); // an empty caption keeps it
    EXPECT_EQ(L"five again", TextOf(m_children[4]));
    EXPECT_EQ(L"two", TextOf(m_children[1]));          // 2 after 5: the walk stopped

    EXPECT_FALSE(store.LocalizeDialog(m_parent, 7));  // no control texts...
    EXPECT_EQ(L"caption only", TextOf(m_parent));      // ...but the caption is set
    EXPECT_FALSE(store.LocalizeDialog(m_parent, 8));
    EXPECT_FALSE(store.LocalizeDialog(m_children[0], 5)); // no children
}

TEST(TextStoreMalformedTest, StopsSafelyKeepingWhatWasRead)
{
    auto goodStart = [] {
        LanguageFile file(1, 1);
        file.Block(0, 0, 1).U32(22).Text(L"kept");
        return file;
    };
    struct Case {
        const char* what;
        LanguageFile file;
    };
    std::vector<Case> cases;
    cases.push_back({"unknown block kind", goodStart().Block(7, 0, 0)});
    cases.push_back({"string id 0", goodStart().Block(0, 0, 2).U32(25).Text(L"x").U32(0).Text(L"y")});
    cases.push_back({"string id above 65535", goodStart().Block(0, 0, 1).U32(65536).Text(L"y")});
    cases.push_back({"dialog without marker", goodStart().Block(1, 5, 0).U32(0x12345678).Text(L"c")});
    cases.push_back({"more dialogs than declared", goodStart().Block(1, 5, 0).U32(0xFFFFFFFF).Text(L"a").Block(1, 6, 0).U32(0xFFFFFFFF).Text(L"b")});
    cases.push_back({"more item lists than declared", goodStart().Block(2, 1, 1).U32(3).Block(2, 2, 1).U32(3)});
    cases.push_back({"text longer than its destination", goodStart().Block(0, 0, 1).U32(25).Text(std::wstring(512, L'y'))});
    cases.push_back({"caption longer than 127", goodStart().Block(1, 5, 0).U32(0xFFFFFFFF).Text(std::wstring(128, L'c'))});
    cases.push_back({"item text longer than 63", goodStart().Block(2, 1, 1).U32(0).Text(std::wstring(64, L'i'))});
    cases.push_back({"embedded zero", goodStart().Block(0, 0, 1).U32(25).Text(std::wstring(L"a\0b", 3))});
    cases.push_back({"control character", goodStart().Block(0, 0, 1).U32(25).Text(L"a\nb")});
    cases.push_back({"count beyond the file", goodStart().Block(0, 0, 0x40000000)});
    cases.push_back({"dialog count beyond the file", goodStart().Block(1, 5, 0x7FFFFFFF).U32(0xFFFFFFFF).Text(L"c")});
    cases.push_back({"text length beyond the file", goodStart().Block(0, 0, 1).U32(25).U32(0x0000FFF0)});
    cases.push_back({"odd text length", goodStart().Block(0, 0, 1).U32(25).U32(3).U32(0x00410041)});
    for (const auto& c : cases) {
        TextStore store;
        EXPECT_FALSE(store.LoadLanguageData(c.file.Bytes().data(), c.file.Bytes().size())) << c.what;
        // The string block before the malformed piece stays in use, unless
        // the malformed piece was a second string block that replaced it.
        std::wstring text = Load(store, 22);
        EXPECT_TRUE(text == L"kept" || text == L"Do you really want to cancel installation?") << c.what;
    }

    // Every prefix of a good file: no read past its end.
    LanguageFile good(2, 1);
    good.Block(0, 0, 2).U32(22).Text(L"one").U32(30).Text(L"two");
    good.Block(1, 5, 1).U32(0xFFFFFFFF).Text(L"caption").U32(1).Text(L"text");
    good.Block(2, 9, 2).U32(0).Text(L"item").U32(4);
    const std::vector<uint8_t>& bytes = good.Bytes();
    TextStore whole;
    ASSERT_TRUE(whole.LoadLanguageData(bytes.data(), bytes.size()));
    for (size_t size = 0; size < bytes.size(); ++size) {
        // An exact copy in its own block, so that a read past the end would be caught.
        std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size));
        TextStore store;
        store.LoadLanguageData(prefix.data(), prefix.size());
    }
    EXPECT_FALSE(whole.LoadLanguageData(nullptr, 10));
}

} // namespace
