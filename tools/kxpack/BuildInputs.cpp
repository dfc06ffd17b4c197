#include "BuildInputs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <sys/stat.h>

#include "archive/ZipFormat.h"
#include "lib/ByteSource.h"
#include "lib/EntryNames.h"
#include "lib/FileIo.h"
#include "lib/InstallLimits.h"
#include "lib/ProgramFolder.h"
#include "lib/SetupConfigText.h"
#include "lib/TextCodec.h"
#include "lib/ZipVerify.h"

namespace {

// Seconds since 1970 for every time the installer holds.
const int64_t DEFAULT_TIME = 315532800; // 1980-01-01 00:00:00 UTC
const int64_t LATEST_TIME = 4354819198LL; // the last a ZIP entry can hold
const size_t COPY_CHUNK = 1 << 20;

// Size and modification time: a ready ZIP changed after it was checked is
// not copied into an installer.
std::string FileStamp(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return "";
    return std::to_string(info.st_size) + "@" + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec);
}

// Names the setup program installs, but maybe not as their author thinks.
void WarnNames(const ArchiveInput& archive)
{
    for (const auto& name : archive.names) {
        std::string warning = EntryNameWarning(name);
        if (!warning.empty())
            Warn(archive.source + ": " + warning);
    }
}

// A name as Windows looks it up: slashes for backslashes, upper case.
std::u16string LookupKey(std::u16string name)
{
    std::replace(name.begin(), name.end(), u'\\', u'/');
    UpcaseName(&name[0], name.size());
    return name;
}

// What the setup program makes of an icon index (_wtoi): blanks, a sign,
// digits; anything else is 0. A negative one takes the target's own icon.
bool NegativeIconIndex(const std::u16string& index)
{
    size_t at = 0;
    while (at < index.size() && (index[at] == u' ' || index[at] == u'\t'))
        ++at;
    if (at >= index.size() || index[at] != u'-')
        return false;
    for (++at; at < index.size() && index[at] >= u'0' && index[at] <= u'9'; ++at)
        if (index[at] != u'0')
            return true;
    return false;
}

} // namespace

bool BuildTime(int64_t& time, std::string& error)
{
    const char* value = getenv("SOURCE_DATE_EPOCH");
    if (!value) {
        time = DEFAULT_TIME;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    long long seconds = strtoll(value, &end, 10);
    if (!*value || *end || errno || seconds <= 0 || seconds > LATEST_TIME) {
        error = std::string("SOURCE_DATE_EPOCH=") + value +
                ": not a number of seconds since 1970 up to the year 2107";
        return false;
    }
    time = seconds;
    return true;
}

bool ResolveInputs(const CArgs& args, BuildInputs& in, std::string& error)
{
    std::string product = args.Get("product");
    in.product = product;
    in.followLinks = args.Has("follow-links");
    auto pick = [&](const char* option, const char* inProduct) {
        if (args.Has(option))
            return args.Get(option);
        return product.empty() || !inProduct ? std::string() : product + "/" + inProduct;
    };
    in.stub = args.Get("stub");
    // Without --stub, the stub of --edition installed with this kxpack; a
    // stub given has its own edition, which --edition could only contradict.
    if (args.Has("stub") && args.Has("edition")) {
        error = "--stub and --edition exclude each other: a stub has its own edition (give one of them)";
        return false;
    }
    in.edition = args.Get("edition", "32");
    if (in.edition != "32" && in.edition != "64") {
        error = "--edition " + in.edition + ": the editions are 32 and 64";
        return false;
    }
    in.key = args.Get("key");
    in.output = args.Get("output");
    in.config = pick("config", "setup.cfg");
    in.bitmap = pick("bitmap", "header.bmp");
    in.licenses = pick("licenses", "licenses");
    in.program = pick("program", "program");
    in.custom = args.Get("custom");
    if (!args.Has("custom") && !product.empty() && IsDirectory(product + "/custom"))
        in.custom = product + "/custom";
    in.icon = args.Get("icon");
    // The product's icon, when it has one; a link there is seen, and judged
    // as the product's links are.
    struct stat icon;
    if (!args.Has("icon") && !product.empty() && lstat((product + "/setup.ico").c_str(), &icon) == 0)
        in.icon = product + "/setup.ico";
    if (!product.empty() && !IsDirectory(product)) {
        error = product + ": the product folder does not exist";
        return false;
    }
    const std::pair<const char*, const std::string*> required[] = {
        {"key", &in.key},           {"output", &in.output},
        {"config", &in.config},     {"bitmap", &in.bitmap},     {"licenses", &in.licenses},
        {"program", &in.program},
    };
    for (const auto& item : required)
        if (item.second->empty()) {
            error = std::string("--") + item.first + " is missing" +
                    (std::string(item.first) == "key" || std::string(item.first) == "output"
                         ? ""
                         : " (or give --product)");
            return false;
        }
    return true;
}

// Parts taken from the product folder may be links only as its files may.
bool CheckProductLinks(const BuildInputs& in, std::string& error)
{
    if (in.product.empty())
        return true;
    for (const std::string* path : {&in.config, &in.bitmap, &in.licenses, &in.program, &in.custom, &in.icon})
        if (path->compare(0, in.product.size() + 1, in.product + "/") == 0 &&
            !CheckLink(*path, in.product, in.followLinks, error))
            return false;
    return true;
}

bool LookAtInputs(BuildInputs& in, std::string& error)
{
    const std::pair<const std::string*, FileSeen*> inputs[] = {
        {&in.config, &in.configSeen}, {&in.bitmap, &in.bitmapSeen},
        {&in.program, &in.programSeen}, {&in.custom, &in.customSeen}, {&in.icon, &in.iconSeen}};
    for (const auto& input : inputs) {
        const std::string& path = *input.first;
        if (path.empty())
            continue;
        // What the product folder holds may be a link only as its files may;
        // a file named on the command line is taken as its name leads.
        bool inProduct = !in.product.empty() && path.compare(0, in.product.size() + 1, in.product + "/") == 0;
        if (!LookAtInput(path, inProduct ? in.product : "", in.followLinks, *input.second, error))
            return false;
    }
    return true;
}

bool LoadConfig(const std::string& path, const FileSeen& seen, Bytes& record, std::u16string& text,
                std::string& error)
{
    if (!ReadTextFile(path, seen, text, error))
        return false;
    text = NormalizeConfigText(text);
    std::vector<std::string> errors, warnings;
    // The lines first: a blank before "=" also makes a required key "missing".
    LintConfigText(text, errors, warnings);
    CheckConfigText(text, errors, warnings);
    for (const auto& warning : warnings)
        Warn(path + ": " + warning);
    if (!errors.empty()) {
        error = path + ": " + errors.front();
        return false;
    }
    record = EncodeUtf16LeWithBom(text);
    return true;
}

// A folder is walked (and zipped while the installer is written); a file is
// taken as a ready ZIP, its size checked here and its bytes by CheckReadyZip.
bool LoadArchive(const std::string& what, const std::string& source, const FileSeen& seen, bool followLinks,
                 ArchiveInput& archive, std::string& error)
{
    archive.what = what;
    archive.source = source;
    archive.seen = seen;
    if (seen.type == S_IFDIR) {
        FolderRules rules;
        rules.followLinks = followLinks;
        if (!CollectFolder(source, rules, archive.entries, error))
            return false;
        archive.names = EntryNames(archive.entries);
        WarnNames(archive);
        return true;
    }
    archive.readyZip = true;
    archive.zipStamp = FileStamp(source);
    CFileSource file;
    if (!file.Open(source, seen, error))
        return false;
    // Before it is read: it goes into the record as it is.
    if (!CheckRecordSize(what, file.Size(), error)) {
        error = source + ": " + error;
        return false;
    }
    return true;
}

bool CheckReadyZip(ArchiveInput& archive, std::string& error)
{
    if (!archive.readyZip)
        return true;
    CFileSource file;
    if (!file.Open(archive.source, archive.seen, error))
        return false;
    // Read with the checks inspect makes, every entry's data included, and
    // UTF-8 names as such whether flagged or not: zip on Linux writes them
    // without the flag, which the copy gets.
    ZipCheck check;
    ZipVerifyOptions options;
    options.unflaggedUtf8 = true;
    VerifyZip(CArchiveBytes(file), options, check);
    if (!check.problems.empty()) {
        error = archive.source + ": " + (check.entries.empty() ? "not a readable ZIP archive: " : "") +
                check.problems.front() +
                (check.problems.size() > 1 ? " (and " + std::to_string(check.problems.size() - 1) + " more problems)"
                                           : "");
        return false;
    }
    for (const auto& entry : check.entries) {
        archive.names.push_back(entry.name);
        if (entry.utf8Taken) {
            archive.utf8FlagBytes.push_back(entry.offset + 7);
            archive.utf8FlagBytes.push_back(entry.centralOffset + 9);
        }
    }
    std::sort(archive.utf8FlagBytes.begin(), archive.utf8FlagBytes.end());
    if (!archive.utf8FlagBytes.empty())
        Note(archive.source + ": " + std::to_string(archive.utf8FlagBytes.size() / 2) +
             " UTF-8 names without the UTF-8 flag; the installer's copy has it set");
    WarnNames(archive);
    return true;
}

bool CopyReadyZip(const ArchiveInput& archive, CByteSink& sink, std::string& error)
{
    CFileSource file;
    if (!file.Open(archive.source, archive.seen, error))
        return false;
    Bytes chunk(COPY_CHUNK);
    for (uint64_t at = 0; at < file.Size();) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(chunk.size(), file.Size() - at));
        if (!file.Read(at, chunk.data(), piece)) {
            error = archive.source + ": cannot be read";
            return false;
        }
        // Bit 11 is bit 3 of a flag field's high byte; nothing else changes.
        for (auto flag = std::lower_bound(archive.utf8FlagBytes.begin(), archive.utf8FlagBytes.end(), at);
             flag != archive.utf8FlagBytes.end() && *flag < at + piece; ++flag)
            chunk[static_cast<size_t>(*flag - at)] |= ZIP_FLAG_UTF8 >> 8;
        if (!sink.Write(chunk.data(), piece, error))
            return false;
        at += piece;
    }
    if (FileStamp(archive.source) != archive.zipStamp) {
        error = archive.source + ": the file changed while it was read";
        return false;
    }
    return true;
}

uint64_t LeastArchiveBytes(const ArchiveInput& archive)
{
    if (archive.readyZip) {
        struct stat info;
        return stat(archive.source.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    }
    uint64_t bytes = ZIP_END_BYTES;
    for (const auto& entry : archive.entries)
        bytes += ZIP_LOCAL_BYTES + ZIP_CENTRAL_BYTES + 2 * entry.name.size();
    return bytes;
}

// The setup program starts shortcut 1's file with /install at the end of
// every installation and rolls the installation back when it cannot: that
// shortcut and its file must be there. It reads shortcuts up to the first
// incomplete one.
bool CheckShortcuts(const std::string& configPath, const std::u16string& config,
                    const std::vector<std::string>& installed, std::string& error)
{
    std::set<std::u16string> keys;
    for (const auto& entry : installed) {
        std::u16string name;
        if (DecodeUtf8(entry, name))
            keys.insert(LookupKey(name));
    }
    auto present = [&](const std::u16string& relative) { return keys.count(LookupKey(relative)) != 0; };
    auto shortcuts = ListConfigShortcuts(config);
    if (shortcuts.empty()) {
        error = configPath + ": shortcut 1 (link_name_1=, file_name_1=, icon_file_1=, icon_index_1=) "
                             "is missing or incomplete; its file is the program the setup program "
                             "starts after installing";
        return false;
    }
    if (!present(shortcuts[0].file)) {
        error = configPath + ": shortcut 1: \"" + ToUtf8(shortcuts[0].file) +
                "\" is not among the program or custom files, and the setup program starts it after "
                "installing";
        return false;
    }
    for (const auto& shortcut : shortcuts) {
        std::string number = configPath + ": shortcut " + std::to_string(shortcut.number) + ": ";
        if (shortcut.number > 1 && !present(shortcut.file))
            Warn(number + "\"" + ToUtf8(shortcut.file) + "\" is not among the program or custom files");
        // The setup program joins the icon file to the installation folder.
        if (!NegativeIconIndex(shortcut.iconIndex) && !present(shortcut.iconFile))
            Warn(number + "icon file \"" + ToUtf8(shortcut.iconFile) +
                 "\" is not among the program or custom files, so the shortcut would find no icon there");
        // The name is the shortcut's file name as it stands.
        const std::u16string& name = shortcut.name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, u".lnk") != 0)
            Warn(number + "\"" + ToUtf8(name) + "\" does not end in .lnk, so it is not a shortcut file");
    }
    std::string first = std::to_string(shortcuts.size() + 1);
    for (unsigned n : UnreadConfigShortcuts(config))
        Warn(configPath + ": shortcut " + std::to_string(n) + " is not read: the setup program reads "
             "shortcuts up to the first incomplete one, shortcut " + first +
             " (each needs link_name_N, file_name_N, icon_file_N and icon_index_N)");
    return true;
}
