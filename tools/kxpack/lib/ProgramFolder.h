// The files of a folder to be packed, walked once: every name checked with
// the setup program's rules before anything is compressed, symbolic links
// refused or, when asked for, followed only to what lies inside the folder.
#pragma once

#include <string>
#include <vector>

#include "ZipWriter.h"

struct FolderRules {
    bool followLinks = false;
};

// Whether `path` may be read for a package: it is no symbolic link, or
// `followLinks` is set and the link leads to something inside `root`; then
// `target`, when given, is where it leads (no link in it).
bool CheckLink(const std::string& path, const std::string& root, bool followLinks, std::string& error,
               std::string* target = nullptr);

// `path` as it is now, to be read later (OpenCheckedInput): a file or folder,
// or a symbolic link as CheckLink allows it, then what it leads to. With no
// `root` (a file named on the command line) a link is simply followed.
bool LookAtInput(const std::string& path, const std::string& root, bool followLinks, FileSeen& seen,
                 std::string& error);

// Every file and folder under `folder`, sorted by entry name. Errors name
// the file at fault.
bool CollectFolder(const std::string& folder, const FolderRules& rules, std::vector<ZipSource>& entries,
                   std::string& error);

// The names of `entries`, for the checks that look at all of them.
std::vector<std::string> EntryNames(const std::vector<ZipSource>& entries);

// The folder as one archive in memory, for tools and tests.
bool ZipFolder(const std::string& folder, int64_t time, Bytes& zip, std::string& error);
