#include "SetupConfigText.h"

#include "TextCodec.h"

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
