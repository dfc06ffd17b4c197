#include "InstallLimits.h"

#include <set>

#include "package/PackageLimits.h"

bool CheckInstallerSize(uint64_t bytes, std::string& error)
{
    if (bytes <= MAX_INSTALLER_BYTES)
        return true;
    error = "the installer would be at least " + std::to_string(bytes) +
            " bytes; Windows does not start a program file of 4 GiB (" + std::to_string(MAX_INSTALLER_BYTES + 1) +
            " bytes) or more";
    return false;
}

bool CheckRecordSize(const std::string& archive, uint64_t bytes, std::string& error)
{
    if (bytes <= MAX_RECORD_BYTES)
        return true;
    error = "the " + archive + " archive would be at least " + std::to_string(bytes) +
            " bytes; an archive record holds at most " + std::to_string(MAX_RECORD_BYTES) +
            " (its size is a 32-bit field)";
    return false;
}

uint64_t MaxProgramFiles(Edition edition)
{
    return edition == Edition::X64 ? MAX_FILES_64BIT : MAX_FILES_32BIT;
}

uint64_t CountListedPaths(const std::vector<std::string>& names)
{
    uint64_t files = 0;
    std::set<std::string> folders;
    for (const auto& name : names) {
        bool folder = !name.empty() && name.back() == '/';
        files += !name.empty() && !folder;
        for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
            folders.insert(name.substr(0, slash));
    }
    return files + folders.size();
}

bool CheckProgramFileCount(Edition edition, uint64_t paths, std::string& error)
{
    uint64_t most = MaxProgramFiles(edition);
    if (paths <= most)
        return true;
    error = std::to_string(paths) + " program files and folders (program and custom): the " +
            EditionName(edition) + " edition installs at most " + std::to_string(most) +
            (edition == Edition::X64 ? ", as many as its uninstall list's record holds"
                                     : ", as it keeps the list of the files it creates in its 2 GB of memory; "
                                       "the 64-bit edition installs more");
    return false;
}
