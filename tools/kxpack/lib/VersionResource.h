// The version resource (VS_VERSIONINFO) Explorer shows in a program's
// properties: the fixed numeric versions and a table of texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Bytes.h"
#include "PeResources.h"

// Where the setup program's version resource goes: type 16, name 1, U.S.
// English.
const uint16_t VERSION_RESOURCE_NAME = 1;
const uint16_t VERSION_RESOURCE_LANGUAGE = 1033;

// Four numbers, most significant first: "2.4.1" is {2, 4, 1, 0}.
using VersionNumbers = std::array<uint16_t, 4>;

// One to four numbers from 0 to 65535 (five digits at most each), separated
// by dots; missing parts are 0. False for anything else.
bool ParseVersionNumbers(const std::string& text, VersionNumbers& numbers);
// "2.4.1.0".
std::string VersionNumbersText(const VersionNumbers& numbers);

struct VersionStrings {
    std::u16string companyName;
    std::u16string fileDescription;
    std::u16string fileVersion;
    std::u16string productName;
    std::u16string productVersion;
};

// The longest text a value may be, so that the resource stays well inside
// its 16-bit lengths.
const size_t MAX_VERSION_TEXT = 1024;

// What MakeVersionResource needs: both versions in ParseVersionNumbers'
// form, no text longer than MAX_VERSION_TEXT or holding a null character.
bool CheckVersionStrings(const VersionStrings& strings, std::string& error);

// A VS_VERSIONINFO for a Windows application: the fixed versions from the
// version texts, one string table "040904B0" (U.S. English, UTF-16) with
// CompanyName, FileDescription, FileVersion, ProductName and ProductVersion,
// and the matching translation. For strings CheckVersionStrings refuses, a
// version that does not parse is 0.0.0.0 and a text ends at a null
// character or MAX_VERSION_TEXT.
Bytes MakeVersionResource(const VersionStrings& strings);

// The version resource as an entry at its place.
ResourceEntry VersionResourceEntry(const VersionStrings& strings);

struct VersionInfo {
    bool hasFixedInfo = false;
    VersionNumbers fileVersion = {};
    VersionNumbers productVersion = {};
    uint32_t fileFlags = 0;
    uint32_t fileOs = 0;
    uint32_t fileType = 0;
    std::u16string tableKey; // the first string table's, e.g. "040904B0"
    std::vector<std::pair<std::u16string, std::u16string>> strings; // that table's, in order
    std::vector<uint32_t> translations; // language in the low word, code page in the high
};

// Reads any well-formed VS_VERSIONINFO: every block's lengths are checked
// to lie inside its parent's, and blocks of kinds it does not know are
// passed over. False, with the reason, for damaged data.
bool ReadVersionResource(const Bytes& data, VersionInfo& info, std::string& error);
