// What an archive in a package must be. kxpack builds and inspects by these
// rules and the setup program checks them over the whole central directory
// and every local header before it writes a file: an archive that breaks
// one is refused by both, for the same rule. No Windows headers: kxpack
// compiles it too.
//
//  1. End record: the last one whose comment reaches exactly to the end of
//     the archive, within its last ZIP_TAIL_BYTES (ReadZipDirectory).
//  2. One disk only.
//  3. Directory: it ends where the end records begin, its headers fill it
//     exactly, and there are as many as the end record counts (at least
//     one). Each end-record field is its value or, beside a ZIP64 end
//     record, its mark.
//  4. Central headers: each name, extra field and comment inside its header;
//     extra fields that fill their space exactly; ZIP64 values taken only
//     for fields that hold the mark, and there where they are marked.
//  5. Local headers: each where its central header says, inside the
//     entries, with the same name, method, flags and (without a data
//     descriptor) CRC-32 and sizes.
//  6. Methods 0 (stored) and 8 (deflated) only; no encryption.
//  7. Sizes: a stored entry's sizes alike; a folder entry holds no data; an
//     empty file's CRC-32 is 0.
//  8. Names: decoded by bit 11 and checked as ZipNames.h states.
//  9. No two entries that Windows would make one file or folder: the same
//     name twice, names that differ in letter case only (by the system's
//     simple upper-case mapping), or a file that is also a folder of another.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/ZipFormat.h"
#include "archive/ZipNames.h"

enum class ZipRule : uint8_t {
    None,
    EndRecord,     // 1; also a ZIP64 end record or locator that does not read
    Disks,         // 2
    Directory,     // 3
    Header,        // 4
    LocalHeader,   // 5
    Method,        // 6
    Encrypted,     // 6
    Sizes,         // 7
    NameEncoding,  // 8: bytes that do not decode
    Name,          // 8: characters, parts, devices, trailing dots and blanks
    NameLength,    // 8: too long
    Duplicate,     // 9: the same name twice
    LetterCase,    // 9: names alike but for letter case
    FileAndFolder, // 9: a name that is a file and a folder
    NoMemory,      // not the archive's fault: the check ran out of memory
};

// The Windows error code the setup program fails with for a broken rule.
uint32_t ZipRuleError(ZipRule rule);
// A short English statement of the rule that is broken, for kxpack.
const char* ZipRuleText(ZipRule rule);
// The rule a structure problem of ZipFormat.h breaks; `local` for a local
// header's.
ZipRule ZipProblemRule(ZipProblem problem, bool local);
// The rule a name problem breaks.
ZipRule NameProblemRule(NameProblem problem);

// Rules 6 to 8 for one central header (ZIP64 values applied) and its stored
// name; the decoded name is left in `name` (ENTRY_NAME_CAPACITY units).
ZipRule CheckZipEntry(const TZipEntry& entry, const uint8_t* storedName, char16_t* name, size_t* units);

// Rule 9 over every name of an archive, fed in directory order; the check
// holds a few machine words for each name and each folder a name lies in.
class CZipNameIndex {
public:
    CZipNameIndex() = default;
    ~CZipNameIndex();
    CZipNameIndex(const CZipNameIndex&) = delete;
    CZipNameIndex& operator=(const CZipNameIndex&) = delete;

    // The decoded name of entry `entry`. False when memory runs out (or the
    // entry's number passes 32 bits, which no memory would hold either).
    bool Add(const char16_t* name, size_t units, uint64_t entry);
    // Duplicate, LetterCase or FileAndFolder, or None. `*entry` is the
    // entry that breaks the rule (the later of the two in the directory; of
    // several such pairs, the one whose later entry comes first) and
    // `*other` the earlier one.
    ZipRule Check(uint64_t* entry, uint64_t* other);

private:
    struct TKey {
        uint64_t folded[2]; // the upper-cased name, hashed twice
        uint64_t exact;     // the name as stored, hashed
        uint32_t entry;
        uint32_t folder;    // 1: a folder (a folder entry or a folder a name lies in)
    };
    bool Push(const TKey& key);
    // By name, then by entry.
    static int Compare(const void* a, const void* b);

    TKey* m_pKeys = nullptr;
    size_t m_nKeys = 0;
    size_t m_nCapacity = 0;
    // The folders the previous name lay in, by depth: they are not keyed
    // again for the next name in the same folder.
    static const size_t MAX_DEPTH = MAX_ENTRY_NAME / 2 + 1;
    uint64_t m_lastFolders[MAX_DEPTH] = {};
    size_t m_nLastFolders = 0;
};
