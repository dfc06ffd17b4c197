// The setup configuration as kxpack writes and reads it: key=value lines,
// looked up with the setup program's own rules (key at the start of a line,
// case-sensitive, empty values passed over, one pair of quotes removed).
#pragma once

#include <string>
#include <vector>

// The keys the setup program cannot start without, and the capacity (in
// characters, terminator included) of the string each is read into.
struct RequiredConfigKey {
    const char16_t* key;
    unsigned capacity;
};
extern const std::vector<RequiredConfigKey> REQUIRED_CONFIG_KEYS;

// Every line break (CR LF, LF or CR) becomes CR LF.
std::u16string NormalizeLineBreaks(const std::u16string& text);
// Line breaks as CR LF, and the text ends with one, so that the setup
// program, which always drops the last character, loses nothing.
std::u16string NormalizeConfigText(const std::u16string& text);

// The value of `key` as the setup program would read it; false when no line
// holds a non-empty value.
bool LookupConfigValue(const std::u16string& text, const std::u16string& key, std::u16string& value);

// Problems that would stop the setup program (a required key missing or
// empty) go to `errors`; values it would cut go to `warnings`.
void CheckConfigText(const std::u16string& text, std::vector<std::string>& errors,
                     std::vector<std::string>& warnings);

// What the setup program would read differently from what was meant, line
// by line: blanks around "=" or before the key (the key is then not found)
// and a key set twice (only the first is read) go to `errors`; a key the
// setup program does not know (named with the nearest known key) and a line
// without "=" go to `warnings`.
void LintConfigText(const std::u16string& text, std::vector<std::string>& errors,
                    std::vector<std::string>& warnings);

// One shortcut of the program group ("link_name_N=" and its three siblings).
struct ConfigShortcut {
    unsigned number;
    std::u16string name, file, iconFile, iconIndex;
};
// Shortcuts 1, 2, ... up to the first number with a key missing, at most 63.
std::vector<ConfigShortcut> ListConfigShortcuts(const std::u16string& text);
// Numbers beyond that first incomplete one that have keys all the same:
// the setup program never reads them.
std::vector<unsigned> UnreadConfigShortcuts(const std::u16string& text);
