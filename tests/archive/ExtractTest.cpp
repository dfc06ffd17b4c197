// Extraction into the installation folder: what is written and recorded, what
// is refused, and the licence text for a locale.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/Extract.h"
#include "base/LinkCheck.h"
#include "package/InstallPackage.h"
#include "support/TempFolder.h"
#include "support/TestZip.h"
#include "support/UnixLink.h"

namespace {

class ExtractTest : public ::testing::Test {
protected:
    ExtractTest() : m_install(m_root.Path(L"Install"))
    {
        CreateDirectoryW(m_install.c_str(), nullptr);
    }

    bool Extract(const ByteVector& archive, CExtractObserver* observer = nullptr)
    {
        std::wstring zip = m_root.Path(L"archive.zip");
        EXPECT_TRUE(WriteBytes(zip, archive));
        return ExtractFile(zip, m_install, observer);
    }
    bool ExtractFile(const std::wstring& zip, const std::wstring& folder, CExtractObserver* observer = nullptr)
    {
        TArchiveSpan span;
        EXPECT_TRUE(GetFileSpan(zip.c_str(), span));
        return ExtractArchive(span, folder.c_str(), m_created, observer, &m_folders);
    }
    std::wstring Installed(const std::wstring& relative) const { return m_install + L"\\" + relative; }
    bool Exists(const std::wstring& path) const
    {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    std::vector<std::wstring> Created() const
    {
        std::vector<std::wstring> paths;
        for (unsigned i = 0; i < m_created.GetCount(); ++i)
            paths.push_back(m_created[i]);
        return paths;
    }
    // Everything below the scratch root except the installation folder's tree.
    std::vector<std::wstring> OutsideInstall() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW(m_root.Path(L"*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name != L"." && name != L".." && name != L"Install" && name != L"archive.zip")
                    names.push_back(name);
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        return names;
    }

    CTempFolder m_root;
    std::wstring m_install;
    CPathList m_created;
    CPathList m_folders;
};

TEST_F(ExtractTest, WritesFilesAndRecordsOnlyThem)
{
    ASSERT_TRUE(Extract(MakeZip({{"bin/", {}},
                                 {"bin/a.dll", Bytes("dll")},
                                 {"empty.txt", {}},
                                 {"deep/er/file.txt", Bytes(std::string(70000, 'z'))},
                                 {"top.txt", Bytes("top"), 0}})));
    EXPECT_TRUE(Exists(Installed(L"bin")));
    ByteVector data;
    ASSERT_TRUE(ReadBytes(Installed(L"bin\\a.dll"), data));
    EXPECT_EQ(Bytes("dll"), data);
    ASSERT_TRUE(ReadBytes(Installed(L"deep\\er\\file.txt"), data)); // folder made without its entry
    EXPECT_EQ(70000u, data.size());
    // An empty file is a file like any other: made and recorded.
    ASSERT_TRUE(ReadBytes(Installed(L"empty.txt"), data));
    EXPECT_TRUE(data.empty());
    EXPECT_EQ((std::vector<std::wstring>{Installed(L"bin\\a.dll"), Installed(L"empty.txt"),
                                         Installed(L"deep\\er\\file.txt"), Installed(L"top.txt")}),
              Created());
    // The folders it made, parents first, for a rollback to remove again.
    std::vector<std::wstring> folders;
    for (unsigned i = 0; i < m_folders.GetCount(); ++i)
        folders.push_back(m_folders[i]);
    EXPECT_EQ((std::vector<std::wstring>{Installed(L"bin"), Installed(L"deep"), Installed(L"deep\\er")}), folders);
}

TEST_F(ExtractTest, UnsupportedMethodIsRefusedBeforeAnythingIsWritten)
{
    ASSERT_TRUE(WriteBytes(Installed(L"odd.bin"), Bytes("the user's")));
    SetLastError(0);
    EXPECT_FALSE(Extract(MakeZip({{"first.txt", Bytes("1")}, {"odd.bin", Bytes("BZh9"), 12}, {"last.txt", Bytes("3")}})));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_FALSE(Exists(Installed(L"first.txt")));
    ByteVector data;
    ASSERT_TRUE(ReadBytes(Installed(L"odd.bin"), data));
    EXPECT_EQ(Bytes("the user's"), data);
    EXPECT_EQ(0u, m_created.GetCount());
}

TEST_F(ExtractTest, DamagedEntryFailsAndIsNotWritten)
{
    ASSERT_TRUE(WriteBytes(Installed(L"bad.dll"), Bytes("old copy")));
    for (uint16_t method : {0, 8}) {
        m_created.RemoveAll();
        ZipTestEntry bad{"bad.dll", Bytes(std::string(5000, 'b')), method};
        bad.badCrc = true;
        SetLastError(0);
        DeleteFileW(Installed(L"later.txt").c_str());
        EXPECT_FALSE(Extract(MakeZip({{"good.txt", Bytes("g")}, bad, {"later.txt", Bytes("l")}}))) << method;
        EXPECT_EQ(static_cast<DWORD>(ERROR_CRC), GetLastError());
        // An entry after it may have been written meanwhile: then it is
        // whole and recorded, so that the rollback removes it.
        std::vector<std::wstring> expected = {Installed(L"good.txt")};
        if (Exists(Installed(L"later.txt")))
            expected.push_back(Installed(L"later.txt"));
        EXPECT_EQ(expected, Created());
        ByteVector data;
        ASSERT_TRUE(ReadBytes(Installed(L"bad.dll"), data));
        EXPECT_EQ(Bytes("old copy"), data); // left as it was
    }
}

TEST_F(ExtractTest, NamesLeadingOutOfTheFolderAreRefusedBeforeAnythingIsWritten)
{
    const char* names[] = {"..\\..\\Windows\\x.dll", "../escape.txt", "C:\\x", "\\x", "/x",
                           "sub/../../x", "a.txt:stream", "sub/./x", "..", "sub/..",
                           "CON", "sub/nul.txt", "com1", "LPT9.log",
                           // Superscript digits one to three (code page 1252) name devices too.
                           "COM\xB9", "lpt\xB2.txt", "sub/COM\xB3", "LPT\xB9"};
    for (const char* name : names) {
        m_created.RemoveAll();
        SetLastError(0);
        EXPECT_FALSE(Extract(MakeZip({{"before.txt", Bytes("kept")}, {name, Bytes("bad")}, {"after.txt", Bytes("a")}})))
            << name;
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), GetLastError()) << name;
        EXPECT_FALSE(Exists(Installed(L"before.txt"))) << name;
        EXPECT_EQ(0u, m_created.GetCount()) << name;
        EXPECT_TRUE(OutsideInstall().empty()) << name;
    }
    // Dots inside names are fine.
    EXPECT_TRUE(Extract(MakeZip({{"a..b/.c/d.e", Bytes("ok")}, {"console.txt", Bytes("ok")}})));
}

TEST_F(ExtractTest, DeclaredSizesMustMatchTheData)
{
    // A size marked as ZIP64 without its extra field, and stored entries
    // whose sizes say more than their data: refused before a byte is written.
    for (int64_t declared : {0xFFFFFFFFll, 0xFFFFFFFEll, 0x80000000ll, 13ll}) {
        m_created.RemoveAll();
        ZipTestEntry huge{"huge.bin", Bytes("small really"), 0};
        huge.declaredSize = declared;
        SetLastError(0);
        EXPECT_FALSE(Extract(MakeZip({huge}))) << declared;
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_CORRUPT), GetLastError()) << declared;
        EXPECT_FALSE(Exists(Installed(L"huge.bin")));
        EXPECT_EQ(0u, m_created.GetCount());
    }
}

TEST_F(ExtractTest, UnreadableCentralHeaderFailsBeforeAnythingIsWritten)
{
    // The whole directory is read before the first file is made.
    ZipTestOptions broken;
    broken.brokenCentralHeader = 1;
    SetLastError(0);
    EXPECT_FALSE(Extract(MakeZip({{"a.txt", Bytes("1")}, {"b.txt", Bytes("2")}, {"c.txt", Bytes("3")}}, broken)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_CORRUPT), GetLastError());
    EXPECT_FALSE(Exists(Installed(L"a.txt")));
    EXPECT_EQ(0u, m_created.GetCount());
}

TEST_F(ExtractTest, SpellingsOfOneFileAreRefusedBeforeAnythingIsWritten)
{
    // Windows would write all of them into one file, the later over the
    // earlier: no archive that does so installs.
    const std::pair<const char*, DWORD> spellings[] = {
        {"same.bin", ERROR_ALREADY_EXISTS}, {"SAME.BIN", ERROR_ALREADY_EXISTS}, {"same.bin.", ERROR_BAD_PATHNAME}};
    for (const auto& spelling : spellings) {
        m_created.RemoveAll();
        SetLastError(0);
        EXPECT_FALSE(Extract(MakeZip({{"same.bin", Bytes("first")}, {"other.txt", Bytes("o")},
                                      {spelling.first, Bytes("second")}})))
            << spelling.first;
        EXPECT_EQ(spelling.second, GetLastError()) << spelling.first;
        EXPECT_FALSE(Exists(Installed(L"same.bin"))) << spelling.first;
        EXPECT_EQ(0u, m_created.GetCount());
    }
}

// Stops the extraction once it has written `after` bytes, and notes the
// progress it was told.
class CStopAfter : public CExtractObserver {
public:
    explicit CStopAfter(uint64_t after) : m_after(after) {}
    bool IsCancelled() override { return m_done >= m_after; }
    void Progress(uint64_t done, uint64_t total) override
    {
        EXPECT_GE(done, m_done);
        EXPECT_LE(done, total);
        m_done = done;
        m_total = total;
        ++m_reports;
    }
    uint64_t m_after;
    uint64_t m_done = 0, m_total = 0;
    int m_reports = 0;
};

TEST_F(ExtractTest, ProgressByBytesAndAStopBetweenPieces)
{
    // Files of several pieces each, compressible and not.
    std::vector<ZipTestEntry> entries;
    uint64_t total = 0;
    for (int i = 0; i < 6; ++i) {
        ByteVector bytes(3 * 1024 * 1024 + i);
        for (size_t j = 0; j < bytes.size(); ++j)
            bytes[j] = static_cast<uint8_t>(i % 2 ? (j * 2654435761u) >> 13 : j / 4096);
        total += bytes.size();
        entries.push_back({"part" + std::to_string(i) + ".bin", bytes, static_cast<uint16_t>(i % 2 ? 0 : 8)});
    }
    ByteVector archive = MakeZip(entries);
    CStopAfter never(UINT64_MAX);
    ASSERT_TRUE(Extract(archive, &never));
    EXPECT_EQ(total, never.m_total);
    EXPECT_EQ(total, never.m_done) << "the last report is the whole";
    EXPECT_GE(never.m_reports, 1);

    // A stop is taken within the files: it fails the extraction, and no
    // file it left unfinished stays behind.
    for (const ZipTestEntry& entry : entries)
        DeleteFileW(Installed(std::wstring(entry.name.begin(), entry.name.end())).c_str());
    m_created.RemoveAll();
    CStopAfter early(1);
    SetLastError(0);
    EXPECT_FALSE(Extract(archive, &early));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), GetLastError());
    EXPECT_LT(early.m_done, total);
    for (const ZipTestEntry& entry : entries) {
        std::wstring path = Installed(std::wstring(entry.name.begin(), entry.name.end()));
        ByteVector data;
        if (ReadBytes(path, data))
            EXPECT_TRUE(data == entry.data) << entry.name << ": a file that stays is whole";
    }
}

TEST_F(ExtractTest, DamagedArchivesFailWithAReason)
{
    ByteVector whole = MakeZip({{"a.txt", Bytes("1")}, {"b.txt", Bytes("2")}});
    ZipTestEntry shortData{"short.bin", Bytes("twelve bytes"), 8};
    shortData.declaredSize = 100;
    ByteVector trailing = whole;
    trailing.push_back(0);
    struct Case {
        const char* what;
        ByteVector archive;
        DWORD error;
    };
    const Case cases[] = {
        {"central directory cut short", ByteVector(whole.begin(), whole.end() - 30), ERROR_FILE_CORRUPT},
        {"a byte after the end record", trailing, ERROR_FILE_CORRUPT},
        {"data shorter than declared", MakeZip({shortData}), ERROR_FILE_CORRUPT},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(Extract(c.archive)) << c.what;
        EXPECT_EQ(c.error, GetLastError()) << c.what;
        EXPECT_EQ(0u, m_created.GetCount()) << c.what;
    }
    // The longest comment there can be: its end record is found all the same.
    ZipTestOptions longestComment;
    longestComment.commentBytes = 65535;
    EXPECT_TRUE(Extract(MakeZip({{"a.txt", Bytes("a")}}, longestComment)));
    EXPECT_TRUE(Exists(Installed(L"a.txt")));
}

TEST_F(ExtractTest, TooLongPathsAreRefusedNotCut)
{
    // The room left below the installation folder for a relative name.
    size_t room = MAX_PATH - 1 - (m_install.size() + 1);
    std::string deepFolder = std::string(room - 8, 'd') + "/"; // fits a path, not a folder
    std::string longFile = std::string(room + 1, 'f');          // one character too many
    std::string longName = std::string(300, 'n');               // a name alone too long
    for (const std::string& name : {deepFolder, longFile, longName}) {
        m_created.RemoveAll();
        SetLastError(0);
        EXPECT_FALSE(Extract(MakeZip({{name, name.back() == '/' ? ByteVector() : Bytes("x")}}))) << name.size();
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError()) << name.size();
        EXPECT_EQ(0u, m_created.GetCount());
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((m_install + L"\\*").c_str(), &found);
        ASSERT_NE(INVALID_HANDLE_VALUE, find);
        int entries = 0;
        do {
            ++entries;
        } while (FindNextFileW(find, &found));
        FindClose(find);
        EXPECT_EQ(2, entries) << "nothing made under a cut name";
    }
}

TEST_F(ExtractTest, LinksBelowTheFolderAreNeitherFollowedNorWritten)
{
    std::wstring outside = m_root.Path(L"outside");
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(outside + L"\\target.dll", Bytes("keep me")));
    // A link is seen only while its target is there.
    ASSERT_TRUE(WriteBytes(outside + L"\\new.dll", Bytes("gone soon")));
    ASSERT_TRUE(MakeUnixLink(Installed(L"data"), "../outside"));
    ASSERT_TRUE(MakeUnixLink(Installed(L"swapped.dll"), "../outside/target.dll"));
    ASSERT_TRUE(MakeUnixLink(Installed(L"dangling.dll"), "../outside/new.dll"));
    ASSERT_TRUE(DeleteFileW((outside + L"\\new.dll").c_str()));
    // A folder that is a link, a file that is one, and one whose target is
    // not there yet: each stops the extraction before a byte is written.
    for (const char* name : {"data/planted.dll", "swapped.dll", "dangling.dll"}) {
        m_created.RemoveAll();
        SetLastError(0);
        EXPECT_FALSE(Extract(MakeZip({{"first.txt", Bytes("1")}, {name, Bytes("planted")}}))) << name;
        // Wine cannot create through a link whose target is missing, and
        // says so (file not found); Windows opens the link itself.
        if (strcmp(name, "dangling.dll") != 0)
            EXPECT_EQ(static_cast<DWORD>(ERROR_STOPPED_ON_SYMLINK), GetLastError()) << name;
        EXPECT_NE(0u, GetLastError()) << name;
        EXPECT_EQ((std::vector<std::wstring>{Installed(L"first.txt")}), Created()) << name;
        ByteVector data;
        ASSERT_TRUE(ReadBytes(outside + L"\\target.dll", data));
        EXPECT_EQ(Bytes("keep me"), data) << name;
        EXPECT_FALSE(Exists(outside + L"\\planted.dll")) << name;
        EXPECT_FALSE(Exists(outside + L"\\new.dll")) << name;
    }
    // The installation folder itself may not be a link either.
    ASSERT_TRUE(MakeUnixLink(m_root.Path(L"Linked"), "outside"));
    SetLastError(0);
    EXPECT_FALSE(ExtractFile(m_root.Path(L"archive.zip"), m_root.Path(L"Linked")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_STOPPED_ON_SYMLINK), GetLastError());
    for (const wchar_t* link : {L"Install\\data", L"Install\\swapped.dll", L"Install\\dangling.dll", L"Linked"})
        EXPECT_TRUE(RemoveUnixLink(m_root.Path(link)));
}

TEST_F(ExtractTest, FileThatCannotBeOpenedIsNotLeftInTheList)
{
    // An older copy, still in use: opened without sharing.
    ASSERT_TRUE(WriteBytes(Installed(L"running.exe"), Bytes("old")));
    HANDLE inUse = CreateFileW(Installed(L"running.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, inUse);
    SetLastError(0);
    EXPECT_FALSE(Extract(MakeZip({{"new.txt", Bytes("n")},
                                  {"running.exe", Bytes("new")},
                                  {"after.txt", Bytes(std::string(100000, 'a'))},
                                  {"later.txt", Bytes("l")}})));
    // The caller reports the failed open's code.
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    CloseHandle(inUse);
    // Files after the failed one may have been written meanwhile: then they
    // are whole and recorded, so that the rollback removes them.
    std::vector<std::wstring> expected = {Installed(L"new.txt")};
    for (const wchar_t* name : {L"after.txt", L"later.txt"})
        if (Exists(Installed(name)))
            expected.push_back(Installed(name));
    EXPECT_EQ(expected, Created());
    ByteVector data;
    if (Exists(Installed(L"after.txt"))) {
        ASSERT_TRUE(ReadBytes(Installed(L"after.txt"), data));
        EXPECT_EQ(100000u, data.size());
    }
    ASSERT_TRUE(ReadBytes(Installed(L"running.exe"), data));
    EXPECT_EQ(Bytes("old"), data);
}

TEST_F(ExtractTest, EveryFileGetsItsOwnBytes)
{
    // Entries of growing and shrinking sizes pass through reused storage.
    std::vector<ZipTestEntry> entries;
    const size_t sizes[] = {5, 300000, 17, 0, 300001, 65536, 1, 2000000, 3, 120000};
    for (size_t i = 0; i < sizeof(sizes) / sizeof(sizes[0]); ++i) {
        ByteVector bytes(sizes[i]);
        for (size_t j = 0; j < bytes.size(); ++j)
            bytes[j] = static_cast<uint8_t>(i * 31 + j * 7 + (j >> 9));
        entries.push_back({"f" + std::to_string(i) + ".bin", bytes, static_cast<uint16_t>(i % 2 ? 0 : 8)});
    }
    ASSERT_TRUE(Extract(MakeZip(entries)));
    for (const ZipTestEntry& entry : entries) {
        std::wstring path = Installed(std::wstring(entry.name.begin(), entry.name.end()));
        ByteVector data;
        ASSERT_TRUE(ReadBytes(path, data)) << entry.name;
        EXPECT_TRUE(data == entry.data) << entry.name;
    }
    EXPECT_EQ(entries.size(), m_created.GetCount());
}

TEST_F(ExtractTest, PackageArchives)
{
    ByteVector core = MakeZip({{"program.exe", Bytes("MZ")}});
    ByteVector custom = MakeZip({{"custom.cfg", Bytes("c")}});
    std::wstring path = m_root.Path(L"setup.exe");
    ByteVector license = ContainerBytes(CONTAINER_LICENSE, {{1, Bytes("x")}});
    ASSERT_TRUE(WriteBytes(path, ProgramFile({license, ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, core}})})));
    InstallPackage package;
    ASSERT_TRUE(package.Load(path.c_str()));
    // Without a custom container: success without touching the disk.
    EXPECT_TRUE(ExtractCustomArchive(package, m_install.c_str(), m_created));
    EXPECT_EQ(0u, m_created.GetCount());
    ASSERT_TRUE(ExtractSetupArchive(package, m_install.c_str(), m_created));
    EXPECT_TRUE(Exists(Installed(L"program.exe")));
    EXPECT_FALSE(Exists(Installed(L"setup.zip"))); // read from the installer, never copied

    ASSERT_TRUE(WriteBytes(path, ProgramFile({license, ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, core}}),
                                              ContainerBytes(CONTAINER_CUSTOM, {{RECORD_ARCHIVE, custom}})})));
    ASSERT_TRUE(package.Load(path.c_str()));
    ASSERT_TRUE(ExtractCustomArchive(package, m_install.c_str(), m_created));
    EXPECT_TRUE(Exists(Installed(L"custom.cfg")));
    EXPECT_FALSE(Exists(Installed(L"custom.zip")));

    // A custom container without its archive record fails.
    ASSERT_TRUE(WriteBytes(path, ProgramFile({license, ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, core}}),
                                              ContainerBytes(CONTAINER_CUSTOM, {{9, custom}})})));
    ASSERT_TRUE(package.Load(path.c_str()));
    SetLastError(0);
    EXPECT_FALSE(ExtractCustomArchive(package, m_install.c_str(), m_created));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_CORRUPT), GetLastError());
}

TEST_F(ExtractTest, ArchiveNamesOfEarlierVersionsLeaveTheUsersFilesAlone)
{
    // Files of the user's under the names temporary archives once had.
    ASSERT_TRUE(WriteBytes(Installed(L"setup.zip"), Bytes("mine")));
    ASSERT_TRUE(WriteBytes(Installed(L"setup-1.zip"), Bytes("mine too")));
    std::wstring path = m_root.Path(L"setup.exe");
    ASSERT_TRUE(WriteBytes(path, ProgramFile({ContainerBytes(CONTAINER_LICENSE, {{1, Bytes("x")}}),
                                              ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, MakeZip({{"program.exe", Bytes("MZ")}})}})})));
    InstallPackage package;
    ASSERT_TRUE(package.Load(path.c_str()));
    ASSERT_TRUE(ExtractSetupArchive(package, m_install.c_str(), m_created));
    EXPECT_TRUE(Exists(Installed(L"program.exe")));
    ByteVector data;
    ASSERT_TRUE(ReadBytes(Installed(L"setup.zip"), data));
    EXPECT_EQ(Bytes("mine"), data);
    ASSERT_TRUE(ReadBytes(Installed(L"setup-1.zip"), data));
    EXPECT_EQ(Bytes("mine too"), data);
    EXPECT_FALSE(Exists(Installed(L"setup-2.zip")));
    EXPECT_EQ((std::vector<std::wstring>{Installed(L"program.exe")}), Created());
}

class LicenseTextTest : public ::testing::Test {
protected:
    // A package whose licence archive holds `entries`; the text for `locale`.
    std::wstring TextFor(const std::vector<ZipTestEntry>& entries, LCID locale, bool* found = nullptr)
    {
        std::wstring path = m_folder.Path(L"setup.exe");
        EXPECT_TRUE(WriteBytes(path, ProgramFile({ContainerBytes(CONTAINER_LICENSE, SignedPair(RECORD_LICENSES, RECORD_LICENSES_SIGNATURE, MakeZip(entries))),
                                                  CoreContainer()})));
        InstallPackage package;
        EXPECT_TRUE(package.Load(path.c_str()));
        CSecureBuffer text;
        bool ok = package.m_pLicense->LoadLicenseText(locale, text);
        if (found)
            *found = ok;
        if (!ok)
            return L"<null>";
        EXPECT_EQ(0, text.Data()[text.Size() - 1]);
        EXPECT_EQ(0, text.Data()[text.Size() - 2]);
        return std::wstring(reinterpret_cast<const wchar_t*>(text.Data()));
    }

    CTempFolder m_folder;
};

ByteVector Text(const std::wstring& text)
{
    return Utf16(text, false);
}

TEST_F(LicenseTextTest, PicksTheFirstEntryWithTheLocalePrefix)
{
    std::vector<ZipTestEntry> entries = {{"10490-other.txt", Text(L"ten thousand")},
                                         {"1049-ru.txt", Text(L"russian")},
                                         {"1049-second.txt", Text(L"second")},
                                         {"1033-en.txt", Text(L"english")}};
    EXPECT_EQ(L"russian", TextFor(entries, 1049));
    EXPECT_EQ(L"english", TextFor(entries, 1033));
    EXPECT_EQ(L"<null>", TextFor(entries, 1031));
    EXPECT_EQ(L"<null>", TextFor(entries, 104));
}

TEST_F(LicenseTextTest, EmptyMatchingEntryGivesNothing)
{
    // The first match decides, even when it is empty.
    EXPECT_EQ(L"<null>", TextFor({{"1033-empty.txt", {}}, {"1033-full.txt", Text(L"full")}}, 1033));
}

TEST_F(LicenseTextTest, ReadInMemoryLeavingTheTemporaryFolderAlone)
{
    // A user's own licenses.zip in the temporary folder is neither replaced
    // nor deleted, and a text of odd length still ends within its buffer.
    wchar_t oldTemp[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"TEMP", oldTemp, MAX_PATH);
    SetEnvironmentVariableW(L"TEMP", m_folder.Root().c_str());
    ByteVector mine = {'m', 'i', 'n', 'e'};
    ASSERT_TRUE(WriteBytes(m_folder.Path(L"licenses.zip"), mine));
    ByteVector odd = Text(L"odd");
    odd.push_back('!');
    EXPECT_EQ(L"odd!", TextFor({{"1033-odd.txt", odd}}, 1033));
    SetEnvironmentVariableW(L"TEMP", oldTemp);
    ByteVector after;
    ASSERT_TRUE(ReadBytes(m_folder.Path(L"licenses.zip"), after));
    EXPECT_EQ(mine, after);
}

} // namespace
