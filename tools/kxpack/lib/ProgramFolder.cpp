#include "ProgramFolder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "EntryNames.h"
#include "FileIo.h"

namespace {

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

class CFolderWalk {
public:
    CFolderWalk(const std::string& root, const FolderRules& rules, std::vector<ZipSource>& entries)
        : m_root(root), m_rules(rules), m_entries(entries)
    {
    }

    bool Walk(const std::string& prefix, std::string& error)
    {
        std::string folder = prefix.empty() ? m_root : m_root + "/" + prefix;
        std::vector<std::string> names;
        if (!ListFolder(folder, names, error))
            return false;
        for (const auto& name : names) {
            std::string relative = prefix.empty() ? name : prefix + "/" + name;
            std::string path = m_root + "/" + relative;
            struct stat info;
            bool link = false;
            if (lstat(path.c_str(), &info) != 0 || ((link = S_ISLNK(info.st_mode)) && !Follow(path, info, error))) {
                if (error.empty())
                    error = path + ": cannot read it";
                return false;
            }
            bool isFolder = S_ISDIR(info.st_mode);
            if (!isFolder && !S_ISREG(info.st_mode)) {
                error = path + ": neither a file nor a folder";
                return false;
            }
            ZipSource entry;
            entry.name = isFolder ? relative + "/" : relative;
            std::string problem = EntryNameProblem(entry.name);
            if (!problem.empty()) {
                error = m_root + ": " + problem;
                return false;
            }
            if (!isFolder) {
                entry.path = path;
                entry.size = static_cast<uint64_t>(info.st_size);
                // Read only while it is this file: one swapped before it is
                // packed (for a link, say) is refused.
                entry.seen = SeenFile(info, link);
            }
            m_entries.push_back(std::move(entry));
            if (isFolder && !Walk(relative, error))
                return false;
        }
        return true;
    }

private:
    // A link is packed as what it points to, when that lies inside the root:
    // the file found there now, whatever the link leads to later.
    bool Follow(const std::string& path, struct stat& info, std::string& error)
    {
        std::string target;
        if (!CheckLink(path, m_root, m_rules.followLinks, error, &target) || stat(target.c_str(), &info) != 0)
            return false;
        // A link to a folder it lies in would be walked for ever.
        std::string parent = RealPath(path.substr(0, path.rfind('/')));
        if (S_ISDIR(info.st_mode) && (parent == target || parent.compare(0, target.size() + 1, target + "/") == 0)) {
            error = path + ": a symbolic link to a folder it lies in";
            return false;
        }
        return true;
    }

    std::string m_root;
    const FolderRules& m_rules;
    std::vector<ZipSource>& m_entries;
};

} // namespace

bool CheckLink(const std::string& path, const std::string& root, bool followLinks, std::string& error,
               std::string* target)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return true; // not a link; what is wrong with it is told by its reader
    if (!followLinks) {
        error = path + ": a symbolic link; give --follow-links to pack what it points to";
        return false;
    }
    std::string resolved = RealPath(path);
    if (resolved.empty()) {
        error = path + ": a symbolic link to nothing";
        return false;
    }
    std::string realRoot = RealPath(root);
    if (realRoot.empty() || resolved.compare(0, realRoot.size() + 1, realRoot + "/") != 0) {
        error = path + ": a symbolic link that leads outside " + root + " (to " + resolved + ")";
        return false;
    }
    if (target)
        *target = resolved;
    return true;
}

bool LookAtInput(const std::string& path, const std::string& root, bool followLinks, FileSeen& seen,
                 std::string& error)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        error = path + ": " + strerror(errno);
        return false;
    }
    if (!S_ISLNK(info.st_mode)) {
        seen = SeenFile(info, false);
        return true;
    }
    std::string target = path;
    if (!root.empty() && !CheckLink(path, root, followLinks, error, &target))
        return false;
    if (stat(target.c_str(), &info) != 0) {
        error = path + ": a symbolic link to nothing";
        return false;
    }
    seen = SeenFile(info, true);
    return true;
}

bool CollectFolder(const std::string& folder, const FolderRules& rules, std::vector<ZipSource>& entries,
                   std::string& error)
{
    entries.clear();
    if (!IsDirectory(folder)) {
        error = folder + ": not a folder";
        return false;
    }
    CFolderWalk walk(folder, rules, entries);
    if (!walk.Walk("", error))
        return false;
    std::sort(entries.begin(), entries.end(),
              [](const ZipSource& a, const ZipSource& b) { return a.name < b.name; });
    if (std::none_of(entries.begin(), entries.end(), [](const ZipSource& e) { return !e.path.empty(); })) {
        error = folder + ": holds no files";
        return false;
    }
    std::string collision = EntryCollisionProblem(EntryNames(entries));
    if (!collision.empty()) {
        error = folder + ": " + collision;
        return false;
    }
    return true;
}

std::vector<std::string> EntryNames(const std::vector<ZipSource>& entries)
{
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name);
    return names;
}

bool ZipFolder(const std::string& folder, int64_t time, Bytes& zip, std::string& error)
{
    std::vector<ZipSource> entries;
    CMemorySink sink(zip);
    return CollectFolder(folder, FolderRules(), entries, error) && WriteZip(entries, time, folder, sink, error);
}
