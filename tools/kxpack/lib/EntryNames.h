// The names an archive entry may have: the rules the setup program checks
// every archive by (archive/ZipNames.h, ZipContract.h), told here in words,
// and the few names kxpack keeps for the setup program's own files. A name
// Windows cannot hold below the installation folder is refused when the
// installer is built and reported when one is inspected, never met by a
// user. Names come as UTF-8, with forward slashes; a folder's ends in one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ZipContract.h"

// Why the setup program could not create this entry ("" when it can): the
// name as the file system gave it, which must be UTF-8.
std::string EntryNameProblem(const std::string& name);

// Why a decoded name breaks the rule `problem` (None gives ""), without the
// name in front: "\"dir.\" ends in a dot or a blank, ...".
std::string NameProblemText(NameProblem problem, const std::u16string& name);

// Names kxpack keeps for what the setup program itself writes at the top of
// the installation folder; "" or why, without the name in front.
std::string ReservedNameProblem(const std::u16string& name);

// What the setup program installs, but not as its author may expect ("" for
// nothing): a name not in Unicode normal form C.
std::string EntryNameWarning(const std::string& name);

// Two entries that Windows would make one file or folder (ZipContract.h,
// rule 9): `entry` the later of the two, `other` the earlier.
struct NameCollision {
    ZipRule rule = ZipRule::None;
    size_t entry = 0;
    size_t other = 0;
    std::string text; // "\"a/B.txt\": differs from \"a/b.txt\" only in letter case; ..."
};
// Names that are not UTF-8 or too long are left out: they are refused on
// their own.
NameCollision FindNameCollision(const std::vector<std::string>& names);
// Its text; "" when no two names collide.
std::string EntryCollisionProblem(const std::vector<std::string>& names);

