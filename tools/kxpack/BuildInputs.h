// What kxpack build takes in, read and checked before anything is written:
// the options resolved against the product folder, the build time, the
// setup configuration, and the program and custom files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Args.h"
#include "lib/Bytes.h"
#include "lib/ZipWriter.h"

struct BuildInputs {
    std::string stub, key, output, config, bitmap, licenses, program, custom;
    std::string icon;    // empty: the stub's own icon stays
    std::string edition; // of the shipped stub, when no stub is given: "32" or "64"
    std::string product;
    bool followLinks = false;
    // What LookAtInputs found: each is read only while it is that file.
    FileSeen configSeen, bitmapSeen, programSeen, customSeen, iconSeen;
};

// The program files or custom files: a folder to be zipped on the way into
// the installer, or a ready ZIP, copied from its file in pieces.
struct ArchiveInput {
    std::string what;               // "program files" or "custom files"
    std::string source;
    std::vector<ZipSource> entries; // a folder's
    bool readyZip = false;
    std::string zipStamp;           // a ready ZIP's size and time as checked
    FileSeen seen;                  // and the file it was
    // Where a ready ZIP's copy gets the UTF-8 flag: the high byte of the
    // flags of each header whose UTF-8 name has none.
    std::vector<uint64_t> utf8FlagBytes;
    std::vector<std::string> names; // decoded, as UTF-8
};

// The options, with what --product supplies; false for a missing one.
bool ResolveInputs(const CArgs& args, BuildInputs& in, std::string& error);
// SOURCE_DATE_EPOCH when set, else 1980-01-01 00:00:00 UTC.
bool BuildTime(int64_t& time, std::string& error);
// Parts taken from the product folder may be links only as its files may.
bool CheckProductLinks(const BuildInputs& in, std::string& error);
// The configuration, the bitmap and the program and custom files as they
// are now (links as CheckProductLinks allows them), for the reads to check.
bool LookAtInputs(BuildInputs& in, std::string& error);
// The configuration's lines checked, its record made (UTF-16LE).
bool LoadConfig(const std::string& path, const FileSeen& seen, Bytes& record, std::u16string& text,
                std::string& error);
// A folder walked (zipped later, while the installer is written), or a ready
// ZIP's size checked against its record's; `what` names the archive in
// errors ("program files"), `seen` is what LookAtInputs found there.
bool LoadArchive(const std::string& what, const std::string& source, const FileSeen& seen, bool followLinks,
                 ArchiveInput& archive, std::string& error);
// A ready ZIP read with the checks inspect makes, its names taken (UTF-8
// names without the UTF-8 flag as UTF-8); nothing for a folder.
bool CheckReadyZip(ArchiveInput& archive, std::string& error);
// A ready ZIP into `sink`, as it was checked, the UTF-8 flag set where its
// names need it.
bool CopyReadyZip(const ArchiveInput& archive, CByteSink& sink, std::string& error);
// The fewest bytes the archive's record can hold: its headers, or a ready
// ZIP's size; for the limits checked before any work.
uint64_t LeastArchiveBytes(const ArchiveInput& archive);
// Shortcut 1 and its program present; warnings for the rest. Files and
// icons are looked up among `installed` as Windows finds them: backslashes
// or slashes, in any letter case.
bool CheckShortcuts(const std::string& configPath, const std::u16string& config,
                    const std::vector<std::string>& installed, std::string& error);
