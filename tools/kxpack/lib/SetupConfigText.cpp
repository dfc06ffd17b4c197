#include "SetupConfigText.h"

#include "TextCodec.h"
#include "VersionResource.h"

#include <algorithm>
#include <map>

const std::vector<RequiredConfigKey> REQUIRED_CONFIG_KEYS = {
    {u"company_program=", 0x200},
    {u"company_program_brief=", 0x100},
    {u"company_name=", 0x100},
};

namespace {

const unsigned MAX_SHORTCUTS = 63;

bool IsLineBreak(char16_t ch)
{
    return ch == u'\r' || ch == u'\n';
}

std::u16string Numbered(const char* prefix, unsigned number)
{
    std::u16string key;
    for (const char* p = prefix; *p; ++p)
        key.push_back(static_cast<char16_t>(*p));
    for (char ch : std::to_string(number))
        key.push_back(static_cast<char16_t>(ch));
    key.push_back(u'=');
    return key;
}

} // namespace

std::u16string NormalizeConfigText(const std::u16string& text)
{
    std::u16string out = NormalizeLineBreaks(text);
    if (out.size() < 2 || out.compare(out.size() - 2, 2, u"\r\n") != 0)
        out += u"\r\n";
    return out;
}

std::u16string NormalizeLineBreaks(const std::u16string& text)
{
    std::u16string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t ch = text[i];
        if (ch == u'\r' || ch == u'\n') {
            if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += u"\r\n";
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

bool LookupConfigValue(const std::u16string& text, const std::u16string& key, std::u16string& value)
{
    if (key.empty())
        return false;
    size_t start = 0;
    while (start < text.size()) {
        while (start < text.size() && IsLineBreak(text[start]))
            ++start;
        size_t end = start;
        while (end < text.size() && !IsLineBreak(text[end]))
            ++end;
        if (end - start > key.size() && text.compare(start, key.size(), key) == 0) {
            value = text.substr(start + key.size(), end - start - key.size());
            if (!value.empty() && value.front() == u'"') {
                value.erase(0, 1);
                if (!value.empty() && value.back() == u'"')
                    value.pop_back();
            }
            return true;
        }
        start = end;
    }
    return false;
}

void CheckConfigText(const std::u16string& text, std::vector<std::string>& errors,
                     std::vector<std::string>& warnings)
{
    for (const auto& required : REQUIRED_CONFIG_KEYS) {
        std::u16string value;
        std::string key = ToUtf8(required.key);
        if (!LookupConfigValue(text, required.key, value) || value.empty())
            errors.push_back("the required key \"" + key + "\" is missing or empty");
        else if (value.size() > required.capacity - 1)
            warnings.push_back("the value of \"" + key + "\" is cut to its first " +
                               std::to_string(required.capacity - 1) + " characters");
    }
    // The program's name is the default installation folder's and program
    // group's name and the uninstall entry's key.
    std::u16string name;
    if (LookupConfigValue(text, u"company_program=", name) && !name.empty() &&
        (name.find_first_of(u"<>:\"/\\|?*") != std::u16string::npos || name.back() == u'.' ||
         name.back() == u' ' || std::any_of(name.begin(), name.end(), [](char16_t ch) { return ch < 0x20; })))
        warnings.push_back("company_program=" + ToUtf8(name) +
                           ": it names the installation folder, the program group and the uninstall "
                           "entry, and Windows names cannot hold < > : \" / \\ | ? *, control "
                           "characters or a trailing dot or blank");
}

std::vector<ConfigShortcut> ListConfigShortcuts(const std::u16string& text)
{
    std::vector<ConfigShortcut> shortcuts;
    for (unsigned n = 1; n <= MAX_SHORTCUTS; ++n) {
        ConfigShortcut shortcut;
        shortcut.number = n;
        if (!LookupConfigValue(text, Numbered("link_name_", n), shortcut.name) ||
            !LookupConfigValue(text, Numbered("file_name_", n), shortcut.file) ||
            !LookupConfigValue(text, Numbered("icon_file_", n), shortcut.iconFile) ||
            !LookupConfigValue(text, Numbered("icon_index_", n), shortcut.iconIndex))
            break;
        shortcuts.push_back(shortcut);
    }
    return shortcuts;
}

std::vector<unsigned> UnreadConfigShortcuts(const std::u16string& text)
{
    std::vector<unsigned> unread;
    std::u16string value;
    for (unsigned n = static_cast<unsigned>(ListConfigShortcuts(text).size()) + 1; n <= MAX_SHORTCUTS; ++n)
        for (const char* key : {"link_name_", "file_name_", "icon_file_", "icon_index_"})
            if (LookupConfigValue(text, Numbered(key, n), value)) {
                unread.push_back(n);
                break;
            }
    return unread;
}

namespace {

// The keys the setup program reads; "N" stands for a shortcut's number.
const char* const KNOWN_KEYS[] = {"company_program", "company_program_brief", "company_name", "company_link",
                                  "product_version", "link_name_N", "file_name_N", "icon_file_N", "icon_index_N"};

// A version Windows can show and hold in a version resource: one to four
// numbers from 0 to 65535, separated by dots ("2.4", "1.0.3.117").
bool IsProductVersion(const std::string& value)
{
    VersionNumbers numbers;
    return ParseVersionNumbers(value, numbers);
}

// The key with a shortcut number 1..63 written as "N".
std::string KeyPattern(const std::string& key)
{
    size_t digits = key.size();
    while (digits > 0 && key[digits - 1] >= '0' && key[digits - 1] <= '9')
        --digits;
    if (digits == key.size() || digits == 0 || key[digits - 1] != '_' || key[digits] == '0' ||
        key.size() - digits > 2 || std::stoul(key.substr(digits)) > MAX_SHORTCUTS)
        return key;
    return key.substr(0, digits) + "N";
}

size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known key nearest to `key`, numbered as `key` is.
std::string NearestKey(const std::string& key)
{
    std::string pattern = KeyPattern(key), best;
    size_t bestDistance = 0;
    for (const char* known : KNOWN_KEYS) {
        size_t distance = EditDistance(pattern, known);
        if (best.empty() || distance < bestDistance) {
            best = known;
            bestDistance = distance;
        }
    }
    if (best.size() > 1 && best.back() == 'N' && pattern.size() > 1 && pattern.back() == 'N')
        best = best.substr(0, best.size() - 1) + key.substr(pattern.size() - 1);
    return best;
}

} // namespace

void LintConfigText(const std::u16string& text, std::vector<std::string>& errors,
                    std::vector<std::string>& warnings)
{
    std::map<std::string, unsigned> firstLine;
    unsigned number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos)
            end = text.size();
        std::string line = ToUtf8(text.substr(start, end - start));
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        std::string where = "line " + std::to_string(number) + ": ";
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            warnings.push_back(where + "\"" + line + "\" has no \"=\", so it sets nothing");
            continue;
        }
        std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        size_t keyStart = key.find_first_not_of(" \t");
        size_t keyEnd = key.find_last_not_of(" \t");
        std::string bare = keyStart == std::string::npos ? "" : key.substr(keyStart, keyEnd - keyStart + 1);
        bool valueBlank = !value.empty() && (value[0] == ' ' || value[0] == '\t');
        if (bare.size() != key.size() || valueBlank) {
            size_t valueStart = value.find_first_not_of(" \t");
            errors.push_back(where + "blanks around \"=\" or before the key (\"" + line +
                             "\"): the setup program would not find the key; write \"" + bare + "=" +
                             (valueStart == std::string::npos ? "" : value.substr(valueStart)) + "\"");
            continue;
        }
        auto seen = firstLine.find(key);
        if (seen != firstLine.end()) {
            errors.push_back(where + "\"" + key + "\" is set again (first on line " + std::to_string(seen->second) +
                             "); the setup program reads only the first");
            continue;
        }
        firstLine[key] = number;
        if (key == "product_version" && !IsProductVersion(value)) {
            errors.push_back(where + "product_version \"" + value +
                             "\" is not one to four numbers from 0 to 65535 separated by dots (\"2.4.1\")");
            continue;
        }
        std::string pattern = KeyPattern(key);
        if (std::find_if(std::begin(KNOWN_KEYS), std::end(KNOWN_KEYS),
                         [&](const char* known) { return pattern == known; }) == std::end(KNOWN_KEYS))
            warnings.push_back(where + "unknown key \"" + key + "\" (did you mean \"" + NearestKey(key) + "\"?)");
    }
}
