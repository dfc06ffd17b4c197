#include "FileIo.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ScratchFiles.h"

bool ReadWholeFile(const std::string& path, Bytes& out, std::string& error)
{
    out.clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        error = path + ": " + strerror(errno);
        return false;
    }
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        fclose(file);
        error = path + ": is a folder, not a file";
        return false;
    }
    uint8_t chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
        out.insert(out.end(), chunk, chunk + got);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        error = path + ": read error";
        return false;
    }
    return true;
}

bool IsDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names, std::string& error)
{
    names.clear();
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        error = folder + ": not a readable folder";
        return false;
    }
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return true;
}

bool IsRegularFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

CAtomicFile::~CAtomicFile()
{
    if (m_fd >= 0)
        close(m_fd);
    if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        ForgetScratchFile(m_tempPath);
    }
}

bool CAtomicFile::Open(const std::string& path, unsigned mode, std::string& error)
{
    m_path = path;
    std::string pattern = path + ".kxpack-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    int made = 0;
    {
        CSignalsHeld held;
        m_fd = mkstemp(name.data());
        made = errno;
        if (m_fd >= 0 && !RegisterScratchFile(name.data())) {
            unlink(name.data());
            close(m_fd);
            m_fd = -1;
            made = EMFILE;
        }
    }
    if (m_fd < 0) {
        error = path + ": cannot create: " + strerror(made);
        return false;
    }
    m_tempPath = name.data();
    if (fchmod(m_fd, mode) != 0) {
        error = path + ": cannot set permissions: " + strerror(errno);
        return false;
    }
    return true;
}

bool CAtomicFile::Write(const void* data, size_t size, std::string& error)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t done = write(m_fd, p, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            error = m_path + ": write failed: " + strerror(errno);
            return false;
        }
        p += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

bool CAtomicFile::Commit(std::string& error)
{
    if (fsync(m_fd) != 0 || close(m_fd) != 0) {
        m_fd = -1;
        error = m_path + ": write failed: " + strerror(errno);
        return false;
    }
    m_fd = -1;
    if (rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        error = m_path + ": cannot replace: " + strerror(errno);
        return false;
    }
    ForgetScratchFile(m_tempPath);
    m_tempPath.clear();
    return true;
}

bool CAtomicFile::WriteAt(uint64_t offset, const void* data, size_t size, std::string& error)
{
    if (pwrite(m_fd, data, size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size)) {
        error = m_path + ": write failed: " + strerror(errno);
        return false;
    }
    return true;
}

bool CheckOutputPath(const std::string& path, std::string& error)
{
    if (path.empty() || path.back() == '/' || IsDirectory(path)) {
        error = path + ": names a folder; --output takes the installer's file name";
        return false;
    }
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (!IsDirectory(folder)) {
        error = path + ": its folder " + folder + " does not exist";
        return false;
    }
    if (access(folder.c_str(), W_OK) != 0) {
        error = path + ": its folder " + folder + " cannot be written to: " + strerror(errno);
        return false;
    }
    return true;
}
