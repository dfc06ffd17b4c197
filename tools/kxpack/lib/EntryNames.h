// The names an archive entry may have. The setup program creates each entry
// below the installation folder, reading names in the system's ANSI code
// page; a name Windows cannot hold there is refused when the installer is
// built and reported when one is inspected, never met by a user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Entry names are at most this long, so that a file fits in a path of 259
// characters below an installation folder of up to 58 characters...
const size_t MAX_ENTRY_NAME = 200;
// ...and the folder it lies in within the 247 characters a folder may have.
const size_t MAX_ENTRY_FOLDER = 188;

// Why the setup program could not create this entry ("" when it can). `name`
// uses forward slashes; a folder entry ends in one.
std::string EntryNameProblem(const std::string& name);

// Why a whole list of entry names could not be installed side by side: the
// first name that is the same as an earlier one but for letter case (Windows
// would write both into one file). "" when there is none.
std::string EntryCollisionProblem(const std::vector<std::string>& names);
