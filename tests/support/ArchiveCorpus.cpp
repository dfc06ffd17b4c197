#include "support/ArchiveCorpus.h"

#include "support/TestZip.h"

namespace {

const uint16_t UTF8 = 0x0800;

ZipTestEntry File(const std::string& name, const std::string& text, uint16_t flags = 0)
{
    ZipTestEntry entry;
    entry.name = name;
    entry.data = Bytes(text);
    entry.extraFlags = flags;
    return entry;
}

ZipTestEntry Folder(const std::string& name)
{
    ZipTestEntry entry;
    entry.name = name;
    entry.method = 0;
    return entry;
}

TCorpusZip Case(const std::string& what, ZipRule rule, const std::vector<ZipTestEntry>& entries,
                const ZipTestOptions& options = {})
{
    return {what, rule, MakeZip(entries, options)};
}

} // namespace

std::vector<TCorpusZip> MakeBrokenZips()
{
    std::vector<TCorpusZip> zips;
    const std::vector<ZipTestEntry> two = {File("a.txt", "alpha"), File("b.txt", "beta")};
    ZipTestOptions options;
    // An end-record signature and ten bytes after the real end record: the
    // last signature's comment does not reach the end.
    options.trailer = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    zips.push_back(Case("end record followed by a stray signature", ZipRule::EndRecord, two, options));
    options = {};
    options.endDisk = 1;
    zips.push_back(Case("end record on disk 1", ZipRule::Disks, two, options));
    options = {};
    options.endEntries = 2;
    zips.push_back(Case("end record counts 2 of 3 entries", ZipRule::Directory,
                        {File("a.txt", "alpha"), File("b.txt", "beta"), File("c.txt", "gamma")}, options));

    ZipTestEntry overrun = File("a.txt", "alpha");
    overrun.centralExtra = {0x55, 0x54, 0x20, 0x00, 1, 2, 3, 4}; // a 32-byte block in 8 bytes
    zips.push_back(Case("central extra field overruns its header", ZipRule::Header, {overrun}));

    ZipTestEntry other = File("a.txt", "alpha");
    other.localName = "b.txt";
    zips.push_back(Case("local header names another file", ZipRule::LocalHeader, {other, File("c.txt", "c")}));

    ZipTestEntry bzip = File("a.txt", "alpha");
    bzip.method = 12;
    zips.push_back(Case("method 12", ZipRule::Method, {bzip}));
    zips.push_back(Case("encrypted", ZipRule::Encrypted, {File("a.txt", "alpha", 0x0001)}));

    ZipTestEntry stored = File("a.txt", "alpha");
    stored.method = 0;
    stored.declaredCompressed = 4;
    zips.push_back(Case("stored with two sizes", ZipRule::Sizes, {stored}));
    ZipTestEntry empty = File("empty.txt", "");
    empty.method = 0;
    empty.declaredCrc = 0x12345678;
    zips.push_back(Case("empty file with a CRC-32", ZipRule::Sizes, {empty}));
    ZipTestEntry folderData = File("folder/", "data");
    folderData.method = 0;
    zips.push_back(Case("folder entry with data", ZipRule::Sizes, {folderData}));

    // An overlong "/" (C0 AF) under the UTF-8 flag.
    zips.push_back(Case("UTF-8 flag over an overlong slash", ZipRule::NameEncoding,
                        {File("a\xC0\xAF" "b.txt", "x", UTF8)}));
    zips.push_back(Case("UTF-8 flag over Latin-1", ZipRule::NameEncoding, {File("Gr\xF6\xDF" "e.txt", "x", UTF8)}));
    zips.push_back(Case("parent folder", ZipRule::Name, {File("../evil.txt", "x")}));
    zips.push_back(Case("device name", ZipRule::Name, {File("docs/CON.txt", "x")}));
    zips.push_back(Case("superscript device name", ZipRule::Name,
                        {File("docs/COM\xC2\xB9.txt", "x", UTF8)}));
    zips.push_back(Case("trailing dot", ZipRule::Name, {File("docs./a.txt", "x")}));
    zips.push_back(Case("reserved character", ZipRule::Name, {File("a:b.txt", "x")}));
    zips.push_back(Case("backslash", ZipRule::Name, {File("a\\b.txt", "x")}));
    zips.push_back(Case("absolute", ZipRule::Name, {File("/a.txt", "x")}));
    // 200 units are allowed; 101 two-unit characters are 202.
    std::string emojis;
    for (int i = 0; i < 101; ++i)
        emojis += "\xF0\x9F\x98\x80";
    zips.push_back(Case("surrogate pairs past 200 units", ZipRule::NameLength, {File(emojis, "x", UTF8)}));

    zips.push_back(Case("the same name twice", ZipRule::Duplicate,
                        {File("a.txt", "first"), File("b.txt", "b"), File("a.txt", "second")}));
    zips.push_back(Case("Cyrillic names alike but for case", ZipRule::LetterCase,
                        {File("\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.txt", "upper", UTF8),
                         File("\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt", "lower", UTF8)}));
    zips.push_back(Case("folders alike but for case", ZipRule::LetterCase,
                        {File("Docs/a.txt", "a"), File("docs/b.txt", "b")}));
    zips.push_back(Case("a file that is also a folder", ZipRule::FileAndFolder,
                        {File("bin", "file"), File("bin/a.dll", "dll")}));
    return zips;
}

std::vector<TCorpusZip> MakeEdgeZips()
{
    std::vector<TCorpusZip> zips;
    ZipTestOptions options;
    options.commentBytes = 0xFFFF;
    zips.push_back(Case("a comment of 65,535 bytes", ZipRule::None, {File("a.txt", "alpha")}, options));
    // 98 + 1 + 96 + 5 units; parts of at most 196 UTF-8 bytes, which any
    // file system below takes.
    std::string pairs;
    for (int i = 0; i < 49; ++i)
        pairs += "\xF0\x9F\x98\x80";
    zips.push_back(Case("200 units with surrogate pairs", ZipRule::None,
                        {File(pairs + "/" + pairs.substr(4) + "x.txt", "x", UTF8)}));
    ZipTestEntry described = File("d.txt", "descriptor");
    described.dataDescriptor = true;
    ZipTestEntry empty = File("pkg/__init__.py", "");
    ZipTestEntry emptyStored = File("pkg/empty.txt", "");
    emptyStored.method = 0;
    zips.push_back(Case("empty files, folders and a data descriptor", ZipRule::None,
                        {Folder("pkg/"), empty, emptyStored, Folder("empty/inner/"), described}));
    zips.push_back(Case("German, Greek and CJK under the UTF-8 flag", ZipRule::None,
                        {File("Gr\xC3\xB6\xC3\x9F" "e.txt", "de", UTF8),
                         File("\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC/a.txt", "el", UTF8),
                         File("\xE8\xAA\xAC\xE6\x98\x8E.txt", "ja", UTF8)}));
    zips.push_back(Case("the same folder spelled once", ZipRule::None,
                        {Folder("Docs/"), File("Docs/a.txt", "a"), File("Docs/b.txt", "b"), File("docs.txt", "c")}));
    return zips;
}
