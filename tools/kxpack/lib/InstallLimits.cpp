#include "InstallLimits.h"

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

bool CheckProgramFileCount(Edition edition, uint64_t files, std::string& error)
{
    uint64_t most = MaxProgramFiles(edition);
    if (files <= most)
        return true;
    error = std::to_string(files) + " program files (program and custom, folders not counted): the " +
            EditionName(edition) + " edition installs at most " + std::to_string(most) +
            (edition == Edition::X64 ? ", as many as its uninstall list's record holds"
                                     : ", as it keeps the list of the files it creates in its 2 GB of memory; "
                                       "the 64-bit edition installs more");
    return false;
}
