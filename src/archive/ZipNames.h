// The names an archive entry may have, as the setup program creates them
// below the installation folder and kxpack accepts them. No Windows headers:
// kxpack compiles it too.
//
// A name is stored as bytes: UTF-8 when the entry's general-purpose bit 11
// is set, else in the reading system's ANSI code page (the setup program's
// reading of every package built before names could be UTF-8). Decoded, it
// is checked in UTF-16 units, as Windows holds names: forward slashes part
// it, a folder entry ends in one, and
//   - no unit below 0x20, and none of < > : " \ | ? *
//   - no empty part, no part of dots and blanks only ("." and ".." among
//     them), and no part that ends in a dot or a blank (Windows drops them)
//   - no part that names a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
//     COM and LPT with a superscript 1-3, CONIN$, CONOUT$), whatever follows
//     its first dot
//   - at most MAX_ENTRY_NAME units, its folder at most MAX_ENTRY_FOLDER
#pragma once

#include <cstddef>
#include <cstdint>

// Entry names are at most this long, so that a file fits in a path of 259
// units below an installation folder of up to 58...
const size_t MAX_ENTRY_NAME = 200;
// ...and the folder it lies in within the 247 units a folder may have.
const size_t MAX_ENTRY_FOLDER = 188;
// No name of more bytes decodes to MAX_ENTRY_NAME units or fewer: UTF-8 and
// the double-byte code pages take at most three bytes for a unit.
const size_t MAX_ENTRY_NAME_BYTES = 3 * MAX_ENTRY_NAME;
// Room for any decoded name that is not refused for its bytes alone.
const size_t ENTRY_NAME_CAPACITY = MAX_ENTRY_NAME_BYTES + 1;

enum class NameProblem {
    None,
    Encoding,  // bytes that are no UTF-8 (with bit 11), or none in the code page
    Character, // a control character or one Windows reserves
    Path,      // an empty part, a part of dots and blanks, a leading slash
    Device,    // a part that names a device
    Trailing,  // a part that ends in a dot or a blank
    Length,    // longer than MAX_ENTRY_NAME
    Folder,    // its folder longer than MAX_ENTRY_FOLDER
};

// Strict UTF-8 to UTF-16: no overlong forms, no surrogates, nothing past
// U+10FFFF. False when the bytes are not such UTF-8 or need more than
// `capacity` units.
bool DecodeUtf8Name(const uint8_t* bytes, size_t length, char16_t* out, size_t capacity, size_t* units);

// The program's reading of a name without bit 11 (the setup program: the
// ANSI code page; kxpack, which cannot know the users' code page: ASCII).
bool DecodeAnsiName(const uint8_t* bytes, size_t length, char16_t* out, size_t capacity, size_t* units);

// A stored name decoded by its flag: Encoding for bytes that do not decode
// (a zero byte never does), Length for more than MAX_ENTRY_NAME_BYTES. `out`
// holds ENTRY_NAME_CAPACITY units and gets a terminating zero.
NameProblem DecodeEntryName(const uint8_t* bytes, size_t length, uint16_t flags, char16_t* out, size_t* units);

// The rules above. `units` counts the name without a terminator.
NameProblem CheckEntryName(const char16_t* name, size_t units);

// Whether `name` ends in a slash: the entry is a folder.
inline bool IsFolderEntryName(const char16_t* name, size_t units)
{
    return units > 0 && name[units - 1] == u'/';
}

// The units of `name` before its last slash (a folder entry's own slash
// not counted): its folder's name.
size_t EntryFolderUnits(const char16_t* name, size_t units);

// Upper case by the system's simple mapping, unit by unit, as Windows file
// systems compare names: each program brings its own (the setup program the
// system's table, kxpack Unicode's simple mapping of the BMP).
void UpcaseName(char16_t* units, size_t count);
