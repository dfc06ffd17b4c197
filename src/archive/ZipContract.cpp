#include "archive/ZipContract.h"

#include <cstdlib>
#include <cstring>

namespace {

// Windows error codes, by number: no Windows headers here.
enum : uint32_t {
    CODE_NOT_ENOUGH_MEMORY = 8,
    CODE_NOT_SUPPORTED = 50,
    CODE_BAD_PATHNAME = 161,
    CODE_ALREADY_EXISTS = 183,
    CODE_FILENAME_EXCED_RANGE = 206,
    CODE_DIRECTORY = 267,
    CODE_NO_UNICODE_TRANSLATION = 1113,
    CODE_FILE_CORRUPT = 1392,
};

const uint16_t ENCRYPTION_FLAGS = ZIP_FLAG_ENCRYPTED | ZIP_FLAG_STRONG_ENCRYPTION | ZIP_FLAG_MASKED_HEADER;

const uint64_t FNV_PRIME = 0x100000001B3ull;

uint64_t HashFnv(uint64_t hash, char16_t unit)
{
    return (hash ^ unit) * FNV_PRIME;
}

// A second hash of other make, so that two names are taken for one only
// when both agree.
uint64_t HashMix(uint64_t hash, char16_t unit)
{
    hash ^= unit * 0x9E3779B97F4A7C15ull;
    hash = (hash << 27) | (hash >> 37);
    return hash * 0x94D049BB133111EBull;
}

} // namespace

uint32_t ZipRuleError(ZipRule rule)
{
    switch (rule) {
    case ZipRule::None:
        return 0;
    case ZipRule::Disks:
    case ZipRule::Method:
    case ZipRule::Encrypted:
        return CODE_NOT_SUPPORTED;
    case ZipRule::NameEncoding:
        return CODE_NO_UNICODE_TRANSLATION;
    case ZipRule::Name:
        return CODE_BAD_PATHNAME;
    case ZipRule::NameLength:
        return CODE_FILENAME_EXCED_RANGE;
    case ZipRule::Duplicate:
    case ZipRule::LetterCase:
        return CODE_ALREADY_EXISTS;
    case ZipRule::FileAndFolder:
        return CODE_DIRECTORY;
    case ZipRule::NoMemory:
        return CODE_NOT_ENOUGH_MEMORY;
    case ZipRule::EndRecord:
    case ZipRule::Directory:
    case ZipRule::Header:
    case ZipRule::LocalHeader:
    case ZipRule::Sizes:
        break;
    }
    return CODE_FILE_CORRUPT;
}

const char* ZipRuleText(ZipRule rule)
{
    switch (rule) {
    case ZipRule::None:
        return "";
    case ZipRule::EndRecord:
        return "no end record whose comment reaches the archive's end";
    case ZipRule::Disks:
        return "an archive of more than one disk";
    case ZipRule::Directory:
        return "the central directory does not match its end record";
    case ZipRule::Header:
        return "a central header that does not read";
    case ZipRule::LocalHeader:
        return "a local header that does not match its central header";
    case ZipRule::Method:
        return "a compression method other than stored and deflated";
    case ZipRule::Encrypted:
        return "an encrypted entry";
    case ZipRule::Sizes:
        return "sizes or CRC-32 that cannot be right";
    case ZipRule::NameEncoding:
        return "a name whose bytes do not decode";
    case ZipRule::Name:
        return "a name Windows cannot hold below the installation folder";
    case ZipRule::NameLength:
        return "a name too long for the installation folder";
    case ZipRule::Duplicate:
        return "a name that is in the archive twice";
    case ZipRule::LetterCase:
        return "names that differ only in letter case";
    case ZipRule::FileAndFolder:
        return "a name that is both a file and a folder";
    case ZipRule::NoMemory:
        return "not enough memory to check the archive";
    }
    return "";
}

ZipRule ZipProblemRule(ZipProblem problem, bool local)
{
    switch (problem) {
    case ZipProblem::None:
        return ZipRule::None;
    case ZipProblem::NoEndRecord:
    case ZipProblem::BadZip64End:
        return ZipRule::EndRecord;
    case ZipProblem::MultipleDisks:
        return ZipRule::Disks;
    case ZipProblem::BadDirectory:
        return ZipRule::Directory;
    case ZipProblem::BadHeader:
    case ZipProblem::MissingZip64:
        break;
    }
    return local ? ZipRule::LocalHeader : ZipRule::Header;
}

ZipRule NameProblemRule(NameProblem problem)
{
    switch (problem) {
    case NameProblem::None:
        return ZipRule::None;
    case NameProblem::Encoding:
        return ZipRule::NameEncoding;
    case NameProblem::Length:
    case NameProblem::Folder:
        return ZipRule::NameLength;
    case NameProblem::Character:
    case NameProblem::Path:
    case NameProblem::Device:
    case NameProblem::Trailing:
        break;
    }
    return ZipRule::Name;
}

ZipRule CheckZipEntry(const TZipEntry& entry, const uint8_t* storedName, char16_t* name, size_t* units)
{
    NameProblem problem = DecodeEntryName(storedName, entry.nameLength, entry.flags, name, units);
    if (problem == NameProblem::None)
        problem = CheckEntryName(name, *units);
    if (problem != NameProblem::None)
        return NameProblemRule(problem);
    if (entry.flags & ENCRYPTION_FLAGS)
        return ZipRule::Encrypted;
    if (entry.method != ZIP_METHOD_STORED && entry.method != ZIP_METHOD_DEFLATED)
        return ZipRule::Method;
    if (entry.method == ZIP_METHOD_STORED && entry.compressedSize != entry.uncompressedSize)
        return ZipRule::Sizes;
    // The CRC-32 of no bytes is 0.
    if (entry.uncompressedSize == 0 && entry.crc32 != 0)
        return ZipRule::Sizes;
    if (IsFolderEntryName(name, *units) && entry.uncompressedSize != 0)
        return ZipRule::Sizes;
    return ZipRule::None;
}

int CZipNameIndex::Compare(const void* a, const void* b)
{
    const auto* left = static_cast<const TKey*>(a);
    const auto* right = static_cast<const TKey*>(b);
    for (int i = 0; i < 2; ++i)
        if (left->folded[i] != right->folded[i])
            return left->folded[i] < right->folded[i] ? -1 : 1;
    return left->entry < right->entry ? -1 : left->entry > right->entry ? 1 : 0;
}

CZipNameIndex::~CZipNameIndex()
{
    free(m_pKeys);
}

bool CZipNameIndex::Push(const TKey& key)
{
    if (m_nKeys == m_nCapacity) {
        size_t capacity = m_nCapacity ? m_nCapacity * 2 : 1024;
        if (capacity > SIZE_MAX / sizeof(TKey))
            return false;
        auto* keys = static_cast<TKey*>(realloc(m_pKeys, capacity * sizeof(TKey)));
        if (!keys)
            return false;
        m_pKeys = keys;
        m_nCapacity = capacity;
    }
    m_pKeys[m_nKeys++] = key;
    return true;
}

bool CZipNameIndex::Add(const char16_t* name, size_t units, uint64_t entry)
{
    if (entry > UINT32_MAX || units > MAX_ENTRY_NAME)
        return false;
    char16_t upper[MAX_ENTRY_NAME];
    memcpy(upper, name, units * sizeof(char16_t));
    UpcaseName(upper, units);
    bool folderEntry = IsFolderEntryName(name, units);
    size_t end = folderEntry ? units - 1 : units;
    TKey key = {{0xCBF29CE484222325ull, 0x6A09E667F3BCC908ull}, 0x84222325CBF29CE4ull,
                static_cast<uint32_t>(entry), 1};
    size_t depth = 0;
    bool sameFolders = true;
    for (size_t i = 0; i <= end; ++i) {
        if (i == end || name[i] == u'/') {
            bool last = i == end;
            if (last) {
                key.folder = folderEntry ? 1 : 0;
                if (!Push(key))
                    return false;
                break;
            }
            // A folder this name lies in: keyed once for a run of names in it.
            sameFolders = sameFolders && depth < m_nLastFolders && m_lastFolders[depth] == key.exact;
            if (!sameFolders && !Push(key))
                return false;
            if (depth < MAX_DEPTH)
                m_lastFolders[depth] = key.exact;
            ++depth;
        }
        key.folded[0] = HashFnv(key.folded[0], upper[i]);
        key.folded[1] = HashMix(key.folded[1], upper[i]);
        key.exact = HashFnv(key.exact, name[i]);
    }
    m_nLastFolders = depth < MAX_DEPTH ? depth : MAX_DEPTH;
    return true;
}

ZipRule CZipNameIndex::Check(uint64_t* entry, uint64_t* other)
{
    if (m_nKeys > 1)
        qsort(m_pKeys, m_nKeys, sizeof(TKey), Compare);
    ZipRule found = ZipRule::None;
    uint64_t foundEntry = UINT64_MAX, foundOther = 0;
    for (size_t start = 0; start < m_nKeys;) {
        size_t end = start + 1;
        while (end < m_nKeys && m_pKeys[end].folded[0] == m_pKeys[start].folded[0] &&
               m_pKeys[end].folded[1] == m_pKeys[start].folded[1])
            ++end;
        // In entry order: the first key that disagrees with one before it.
        const TKey& first = m_pKeys[start];
        size_t firstFile = first.folder ? SIZE_MAX : start, firstFolder = first.folder ? start : SIZE_MAX;
        for (size_t i = start + 1; i < end && m_pKeys[i].entry < foundEntry; ++i) {
            const TKey& key = m_pKeys[i];
            ZipRule rule = ZipRule::None;
            size_t with = start;
            if (key.exact != first.exact) {
                rule = ZipRule::LetterCase;
            } else if (key.folder ? firstFile != SIZE_MAX : firstFolder != SIZE_MAX) {
                rule = ZipRule::FileAndFolder;
                with = key.folder ? firstFile : firstFolder;
            } else if (!key.folder) {
                rule = ZipRule::Duplicate;
                with = firstFile;
            }
            if (rule != ZipRule::None) {
                found = rule;
                foundEntry = key.entry;
                foundOther = m_pKeys[with].entry;
                break;
            }
            if (key.folder && firstFolder == SIZE_MAX)
                firstFolder = i;
            if (!key.folder && firstFile == SIZE_MAX)
                firstFile = i;
        }
        start = end;
    }
    if (found != ZipRule::None) {
        *entry = foundEntry;
        *other = foundOther;
    }
    return found;
}
