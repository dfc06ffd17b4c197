// What the setup program can install (package/PackageLimits.h says why):
// build refuses what it could not, before any work where it can and as
// soon as it knows otherwise; inspect names it. Each refusal is one line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PeImage.h"

// An installer file of `bytes` bytes (or at least so many) can be started.
bool CheckInstallerSize(uint64_t bytes, std::string& error);
// An archive record of `bytes` bytes (or at least so many) fits its size
// field; `archive` names it ("program files").
bool CheckRecordSize(const std::string& archive, uint64_t bytes, std::string& error);
// The most program files and folders (program and custom) an edition
// installs: each takes a slot of the uninstall list, and the 32-bit edition
// keeps their paths in memory.
uint64_t MaxProgramFiles(Edition edition);
bool CheckProgramFileCount(Edition edition, uint64_t paths, std::string& error);
// The paths the setup program may list for these entry names: every file,
// and every folder, whether an entry of its own or one a name lies in.
uint64_t CountListedPaths(const std::vector<std::string>& names);
