#include "ByteSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CMemorySource::Read(uint64_t offset, void* out, size_t size) const
{
    if (offset > m_size || size > m_size - offset)
        return false;
    if (size)
        memcpy(out, m_data + offset, size);
    return true;
}

CFileSource::~CFileSource()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool CFileSource::Open(const std::string& path, std::string& error)
{
    return Open(path, FileSeen(), error);
}

bool CFileSource::Open(const std::string& path, const FileSeen& seen, std::string& error)
{
    m_fd = OpenCheckedInput(path, seen, error);
    struct stat info;
    if (m_fd < 0)
        return false;
    if (fstat(m_fd, &info) != 0) {
        error = path + ": " + strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = path + ": is a folder, not a file";
        return false;
    }
    m_size = static_cast<uint64_t>(info.st_size);
    // Read front to back, each byte once: the kernel may read ahead far.
    posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

bool CFileSource::Read(uint64_t offset, void* out, size_t size) const
{
    if (offset > m_size || size > m_size - offset)
        return false;
    auto* at = static_cast<uint8_t*>(out);
    while (size) {
        ssize_t got = pread(m_fd, at, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        at += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<size_t>(got);
    }
    return true;
}
