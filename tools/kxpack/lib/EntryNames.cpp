#include "EntryNames.h"

#include <algorithm>
#include <map>
#include <set>
#include <strings.h>

namespace {

const char RESERVED[] = "<>:\"\\|?*";

std::string Quoted(const std::string& name)
{
    return "\"" + name + "\": ";
}

// A component of a path: what Windows would make of it, or why it cannot.
std::string ComponentProblem(const std::string& part)
{
    if (part.back() == '.' || part.back() == ' ')
        return "ends in a dot or a blank, which Windows drops from names";
    return "";
}

std::string FoldCase(const std::string& name)
{
    std::string folded = name;
    for (auto& ch : folded)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    return folded;
}

// A name that the setup program itself refuses: one that would be written
// outside the installation folder, or that names a device.
bool IsUnsafeEntryName(const std::string& name)
{
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4",
                                          "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                          "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$"};
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || path[0] == '/' || path.find(':') != std::string::npos)
        return true;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('/', start);
        bool last = end == std::string::npos;
        std::string part = path.substr(start, last ? std::string::npos : end - start);
        if (part.empty() && !last)
            return true;
        // Windows drops trailing dots and blanks: "..", "..." and ". ." are no names.
        if (!part.empty() && part.find_first_not_of(". ") == std::string::npos)
            return true;
        std::string stem = part.substr(0, part.find('.'));
        while (!stem.empty() && stem.back() == ' ')
            stem.pop_back();
        for (const char* device : devices)
            if (strcasecmp(stem.c_str(), device) == 0)
                return true;
        if (last)
            return false;
        start = end + 1;
    }
}

} // namespace

std::string EntryNameProblem(const std::string& name)
{
    for (unsigned char ch : name) {
        if (ch < 0x20 || ch > 0x7E)
            return Quoted(name) +
                   "only printable ASCII characters can be used in names (the setup program "
                   "reads names in the system's ANSI code page)";
        if (std::string(RESERVED).find(static_cast<char>(ch)) != std::string::npos)
            return Quoted(name) + "Windows names cannot hold any of < > : \" \\ | ? *";
    }
    if (IsUnsafeEntryName(name))
        return Quoted(name) + "the name leads outside the installation folder or names a device";
    if (name.size() > MAX_ENTRY_NAME)
        return Quoted(name) + "the name is longer than " + std::to_string(MAX_ENTRY_NAME) +
               " characters";
    std::string path = name;
    if (!path.empty() && path.back() == '/')
        path.pop_back();
    size_t slash = path.rfind('/');
    bool folder = name.back() == '/';
    size_t folderLength = folder ? path.size() : slash == std::string::npos ? 0 : slash;
    if (folderLength > MAX_ENTRY_FOLDER)
        return Quoted(name) + "its folder's name is longer than " +
               std::to_string(MAX_ENTRY_FOLDER) + " characters";
    size_t start = 0;
    for (;;) {
        size_t end = path.find('/', start);
        std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string problem = ComponentProblem(part);
        if (!problem.empty())
            return Quoted(name) + "\"" + part + "\" " + problem;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (strcasecmp(path.c_str(), "setup.zip") == 0 || strcasecmp(path.c_str(), "custom.zip") == 0)
        return Quoted(name) + "older setup programs wrote their temporary archive under this name";
    if (strcasecmp(path.c_str(), "Uninstall.exe") == 0)
        return Quoted(name) + "the setup program writes the uninstaller under this name";
    return "";
}

std::string EntryCollisionProblem(const std::vector<std::string>& names)
{
    // Each path, folded, with the spelling and kind it was first met in. A
    // folder is met again in every name below it; that is no collision.
    std::map<std::string, std::pair<std::string, bool>> seen;
    std::set<std::string> files;
    for (const auto& name : names) {
        bool isFolder = !name.empty() && name.back() == '/';
        std::string path = isFolder ? name.substr(0, name.size() - 1) : name;
        if (!isFolder && !files.insert(path).second)
            return Quoted(name) + "is in the archive twice";
        size_t slash = 0;
        for (;;) {
            slash = path.find('/', slash);
            bool last = slash == std::string::npos;
            std::string prefix = last ? path : path.substr(0, slash);
            bool folder = !last || isFolder;
            auto found = seen.emplace(FoldCase(prefix), std::make_pair(prefix, folder)).first;
            const auto& first = found->second;
            if (first.first != prefix)
                return Quoted(name) + "differs from \"" + first.first +
                       "\" only in letter case; Windows would make them one " +
                       (folder && first.second ? "folder" : "file");
            if (first.second != folder)
                return Quoted(name) + "\"" + prefix + "\" is both a file and a folder";
            if (last)
                break;
            ++slash;
        }
    }
    return "";
}
