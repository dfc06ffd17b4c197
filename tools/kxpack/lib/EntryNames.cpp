#include "EntryNames.h"

#include <unicode/unorm2.h>

#include <algorithm>
#include <cstdio>

#include "ShownText.h"
#include "TextCodec.h"

namespace {

const char DEVICE_LIST[] = "CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, COM\xC2\xB9-COM\xC2\xB3, "
                           "LPT\xC2\xB9-LPT\xC2\xB3, CONIN$ and CONOUT$";

std::string Quoted(const std::u16string& name)
{
    return "\"" + ShownText(ToUtf8(name)) + "\"";
}

// The parts of a name, each as the units up to its end; a folder entry's
// own slash ends its last part.
struct NameParts {
    std::vector<size_t> ends;
    bool folderEntry = false;
};

NameParts SplitName(const std::u16string& name)
{
    NameParts parts;
    parts.folderEntry = !name.empty() && name.back() == u'/';
    size_t end = parts.folderEntry ? name.size() - 1 : name.size();
    for (size_t i = 0; i < end; ++i)
        if (name[i] == u'/')
            parts.ends.push_back(i);
    parts.ends.push_back(end);
    return parts;
}

// The part of `name` that breaks `problem` on its own: the first that does.
std::u16string FindPart(const std::u16string& name, NameProblem problem)
{
    NameParts parts = SplitName(name);
    size_t start = 0;
    for (size_t end : parts.ends) {
        std::u16string part = name.substr(start, end - start);
        if (CheckEntryName(part.data(), part.size()) == problem)
            return part;
        start = end + 1;
    }
    return std::u16string();
}

std::string UnitText(char16_t unit)
{
    char text[16];
    snprintf(text, sizeof(text), "U+%04X", static_cast<unsigned>(unit));
    return text;
}

std::u16string Upcased(std::u16string name)
{
    UpcaseName(&name[0], name.size());
    return name;
}

// The text for a pair of names the index found: the prefixes of both (at
// the same depth, as names alike but for case have as many slashes) where
// they first differ in letter case, or where one is a file and the other a
// folder.
std::string CollisionText(ZipRule rule, const std::u16string& entry, const std::u16string& other)
{
    if (rule == ZipRule::Duplicate)
        return Quoted(entry) + ": is in the archive twice";
    NameParts a = SplitName(entry), b = SplitName(other);
    size_t depths = std::min(a.ends.size(), b.ends.size());
    for (size_t d = 0; d < depths; ++d) {
        std::u16string left = entry.substr(0, a.ends[d]), right = other.substr(0, b.ends[d]);
        bool leftFolder = d + 1 < a.ends.size() || a.folderEntry;
        bool rightFolder = d + 1 < b.ends.size() || b.folderEntry;
        if (rule == ZipRule::LetterCase && left != right) {
            std::string kind = leftFolder && rightFolder   ? "make them one folder"
                               : !leftFolder && !rightFolder ? "make them one file"
                                                            : "take them for one name";
            std::string which = d + 1 == a.ends.size() ? "" : "its folder " + Quoted(left) + " ";
            return Quoted(entry) + ": " + which + "differs from " + Quoted(right) +
                   " only in letter case; Windows would " + kind;
        }
        if (rule == ZipRule::FileAndFolder && left == right && leftFolder != rightFolder)
            return Quoted(entry) + ": " + Quoted(left) + " is both a file and a folder";
    }
    // Not met for names the index took for one: a hash agreed by chance.
    return Quoted(entry) + ": " + ZipRuleText(rule) + " (with " + Quoted(other) + ")";
}

} // namespace

std::string NameProblemText(NameProblem problem, const std::u16string& name)
{
    switch (problem) {
    case NameProblem::None:
        return "";
    case NameProblem::Encoding:
        return "its bytes are not characters of any encoding the setup program reads";
    case NameProblem::Character:
        for (char16_t unit : name) {
            if (unit < 0x20)
                return "Windows names cannot hold control characters (it holds " + UnitText(unit) + ")";
            if (std::u16string(u"<>:\"\\|?*").find(unit) != std::u16string::npos)
                return "Windows names cannot hold any of < > : \" \\ | ? * (it holds " +
                       Quoted(std::u16string(1, unit)) + ")";
        }
        break;
    case NameProblem::Path: {
        if (name.empty())
            return "an empty name";
        if (name[0] == u'/')
            return "begins with a slash: names are relative to the installation folder";
        std::u16string part = FindPart(name, problem);
        if (part.empty())
            return "has an empty part (two slashes in a row)";
        std::string text = "its part " + Quoted(part) +
                           " is no name: a part of dots and blanks only (such as \".\" or \"..\") names no "
                           "file or folder below the installation folder";
        if (part == u"." && name.compare(0, 2, u"./") == 0)
            text += " (an archive made of the folder \".\" names its entries \"./...\"; make it of the "
                    "folder's entries instead)";
        return text;
    }
    case NameProblem::Device:
        return Quoted(FindPart(name, problem)) + " names a device: Windows opens the device for " + DEVICE_LIST +
               ", in any letter case and whatever extension follows";
    case NameProblem::Trailing:
        return Quoted(FindPart(name, problem)) + " ends in a dot or a blank, which Windows drops from names";
    case NameProblem::Length:
        return "the name is " + std::to_string(name.size()) + " UTF-16 units long; at most " +
               std::to_string(MAX_ENTRY_NAME) + " fit below every installation folder";
    case NameProblem::Folder: {
        size_t units = EntryFolderUnits(name.data(), name.size());
        return "its folder's name is " + std::to_string(units) + " UTF-16 units long; at most " +
               std::to_string(MAX_ENTRY_FOLDER) + " fit below every installation folder";
    }
    }
    return ZipRuleText(NameProblemRule(problem));
}

std::string ReservedNameProblem(const std::u16string& name)
{
    // The top-level part, as a file or as a folder, compared as Windows does.
    std::u16string top = Upcased(name.substr(0, name.find(u'/')));
    if (top == u"SETUP.ZIP" || top == u"CUSTOM.ZIP")
        return "older setup programs wrote their temporary archive under this name";
    if (top == u"UNINSTALL.EXE")
        return "the setup program writes the uninstaller under this name";
    return "";
}

std::string EntryNameProblem(const std::string& name)
{
    std::u16string units;
    if (!DecodeUtf8(name, units))
        return "\"" + ShownText(name) +
               "\": the file system holds this name in bytes that are not UTF-8, and kxpack reads names as "
               "UTF-8 only: it cannot tell which characters they mean; rename it";
    NameProblem problem = CheckEntryName(units.data(), units.size());
    if (problem != NameProblem::None)
        return "\"" + ShownText(name) + "\": " + NameProblemText(problem, units);
    std::string reserved = ReservedNameProblem(units);
    return reserved.empty() ? "" : "\"" + ShownText(name) + "\": " + reserved;
}

std::string EntryNameWarning(const std::string& name)
{
    std::u16string units;
    if (!DecodeUtf8(name, units))
        return "";
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status))
        return "";
    UBool normal = unorm2_isNormalized(nfc, reinterpret_cast<const UChar*>(units.data()),
                                       static_cast<int32_t>(units.size()), &status);
    if (U_FAILURE(status) || normal)
        return "";
    bool folder = !name.empty() && name.back() == '/';
    return "\"" + name + "\": not in Unicode normal form C (as names copied from a Mac often are); on Windows it "
           "looks like the composed name but is a different " + (folder ? "folder" : "file");
}

NameCollision FindNameCollision(const std::vector<std::string>& names)
{
    NameCollision found;
    CZipNameIndex index;
    std::vector<size_t> taken; // the index's entry numbers, as positions in `names`
    for (size_t i = 0; i < names.size(); ++i) {
        std::u16string units;
        if (!DecodeUtf8(names[i], units) || units.size() > MAX_ENTRY_NAME)
            continue;
        if (!index.Add(units.data(), units.size(), taken.size())) {
            found.rule = ZipRule::NoMemory;
            found.text = ZipRuleText(found.rule);
            return found;
        }
        taken.push_back(i);
    }
    uint64_t entry = 0, other = 0;
    found.rule = index.Check(&entry, &other);
    if (found.rule == ZipRule::None)
        return found;
    found.entry = taken[entry];
    found.other = taken[other];
    std::u16string a, b;
    DecodeUtf8(names[found.entry], a);
    DecodeUtf8(names[found.other], b);
    found.text = CollisionText(found.rule, a, b);
    return found;
}

std::string EntryCollisionProblem(const std::vector<std::string>& names)
{
    return FindNameCollision(names).text;
}
