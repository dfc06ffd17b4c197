// The archive contract as the extraction meets it: every archive that
// breaks a rule is refused with that rule's error before anything is
// written; archives at a rule's edge, names in any script, empty files and
// folder entries install exactly as they are.
#include <gtest/gtest.h>

#include "archive/Extract.h"
#include "support/ArchiveCorpus.h"
#include "support/TempFolder.h"
#include "support/TestZip.h"

namespace {

class ArchiveContractTest : public ::testing::Test {
protected:
    ArchiveContractTest() : m_install(m_root.Path(L"Install")) { CreateDirectoryW(m_install.c_str(), nullptr); }

    bool Extract(const ByteVector& archive)
    {
        m_created.RemoveAll();
        m_folders.RemoveAll();
        std::wstring zip = m_root.Path(L"archive.zip");
        EXPECT_TRUE(WriteBytes(zip, archive));
        TArchiveSpan span;
        EXPECT_TRUE(GetFileSpan(zip.c_str(), span));
        SetLastError(0);
        return ExtractArchive(span, m_install.c_str(), m_created, nullptr, &m_folders);
    }
    std::wstring Installed(const std::wstring& relative) const { return m_install + L"\\" + relative; }
    // Everything in the installation folder, at any depth, "\" between parts.
    std::vector<std::wstring> Tree(const std::wstring& below = L"") const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        std::wstring folder = below.empty() ? m_install : Installed(below);
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring relative = below.empty() ? name : below + L"\\" + name;
            names.push_back(relative);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                for (const auto& inner : Tree(relative))
                    names.push_back(inner);
        } while (FindNextFileW(find, &found));
        FindClose(find);
        return names;
    }
    void Clear()
    {
        // Deepest first.
        std::vector<std::wstring> names = Tree();
        for (auto it = names.rbegin(); it != names.rend(); ++it)
            if (!DeleteFileW(Installed(*it).c_str()))
                RemoveDirectoryW(Installed(*it).c_str());
    }

    CTempFolder m_root;
    std::wstring m_install;
    CPathList m_created;
    CPathList m_folders;
};

std::wstring Wide(const std::string& utf8)
{
    int chars = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(chars, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], chars);
    return text;
}

TEST_F(ArchiveContractTest, EveryBrokenRuleIsRefusedWithItsReasonAndNothingWritten)
{
    ASSERT_TRUE(WriteBytes(Installed(L"a.txt"), Bytes("the user's own")));
    for (const TCorpusZip& zip : MakeBrokenZips()) {
        EXPECT_FALSE(Extract(zip.bytes)) << zip.what;
        EXPECT_EQ(ZipRuleError(zip.rule), GetLastError()) << zip.what;
        EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, Tree()) << zip.what;
        EXPECT_EQ(0u, m_created.GetCount()) << zip.what;
        EXPECT_EQ(0u, m_folders.GetCount()) << zip.what;
    }
    ByteVector data;
    ASSERT_TRUE(ReadBytes(Installed(L"a.txt"), data));
    EXPECT_EQ(Bytes("the user's own"), data);
}

TEST_F(ArchiveContractTest, ArchivesAtTheEdgeOfARuleInstall)
{
    for (const TCorpusZip& zip : MakeEdgeZips()) {
        EXPECT_TRUE(Extract(zip.bytes)) << zip.what << ": error " << GetLastError();
        EXPECT_FALSE(Tree().empty()) << zip.what;
        Clear();
    }
}

TEST_F(ArchiveContractTest, NamesInAnyScriptUnderTheUtf8Flag)
{
    const std::string names[] = {
        "\xD0\xA0\xD1\x83\xD0\xBA\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xB4\xD1\x81\xD1\x82\xD0\xB2\xD0\xBE/Gr\xC3\xB6\xC3\x9F" "e.txt",
        "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC.txt",
        "\xE8\xAA\xAC\xE6\x98\x8E/\xE8\xAA\xAC\xE6\x98\x8E.txt",
        "emoji \xF0\x9F\x98\x80.txt",
    };
    std::vector<ZipTestEntry> entries;
    for (const std::string& name : names) {
        ZipTestEntry entry{name, Bytes("bytes of " + name)};
        entry.extraFlags = 0x0800;
        entries.push_back(entry);
    }
    // Without the flag a name is read in the ANSI code page, as always.
    entries.push_back({"caf\xE9.txt", Bytes("ansi")});
    ASSERT_TRUE(Extract(MakeZip(entries))) << GetLastError();
    for (const ZipTestEntry& entry : entries) {
        std::wstring name = entry.extraFlags ? Wide(entry.name) : L"caf\u00E9.txt";
        for (auto& ch : name)
            if (ch == L'/')
                ch = L'\\';
        ByteVector data;
        ASSERT_TRUE(ReadBytes(Installed(name), data)) << entry.name;
        EXPECT_EQ(entry.data, data);
    }
    EXPECT_EQ(entries.size(), m_created.GetCount());
}

TEST_F(ArchiveContractTest, EmptyFilesReplaceAndFolderEntriesMakeTheirFolders)
{
    // An empty entry empties a file that was there, and the file is this
    // run's to roll back, as any file it wrote.
    ASSERT_TRUE(WriteBytes(Installed(L"marker"), Bytes("old contents")));
    ZipTestEntry deflated{"pkg/__init__.py", {}};
    ZipTestEntry stored{"marker", {}, 0};
    ASSERT_TRUE(Extract(MakeZip({deflated, stored, {"empty/inner/", {}, 0}, {"kept/", {}, 0}, {"kept/x.txt", Bytes("x")}})));
    for (const wchar_t* name : {L"pkg\\__init__.py", L"marker"}) {
        ByteVector data{1};
        ASSERT_TRUE(ReadBytes(Installed(name), data)) << name;
        EXPECT_TRUE(data.empty()) << name;
    }
    std::vector<std::wstring> files, folders;
    for (unsigned i = 0; i < m_created.GetCount(); ++i)
        files.push_back(m_created[i]);
    EXPECT_EQ((std::vector<std::wstring>{Installed(L"pkg\\__init__.py"), Installed(L"marker"), Installed(L"kept\\x.txt")}),
              files);
    for (unsigned i = 0; i < m_folders.GetCount(); ++i)
        folders.push_back(m_folders[i]);
    EXPECT_EQ((std::vector<std::wstring>{Installed(L"pkg"), Installed(L"empty"), Installed(L"empty\\inner"),
                                         Installed(L"kept")}),
              folders);
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(Installed(L"empty\\inner").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ArchiveContractTest, AFolderTooLongForTheLongestNameWritesNothing)
{
    // A name of 150 units fits below a short folder, not below one of 120.
    std::wstring deep = m_root.Path(std::wstring(120 - m_root.Path(L"").size(), L'd'));
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    ByteVector zip = MakeZip({{"first.txt", Bytes("1")}, {std::string(150, 'n'), Bytes("long")}});
    std::wstring path = m_root.Path(L"long.zip");
    ASSERT_TRUE(WriteBytes(path, zip));
    TArchiveSpan span;
    ASSERT_TRUE(GetFileSpan(path.c_str(), span));
    SetLastError(0);
    EXPECT_FALSE(ExtractArchive(span, deep.c_str(), m_created, nullptr, &m_folders));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((deep + L"\\first.txt").c_str()));
    EXPECT_TRUE(Extract(zip));
}

} // namespace
