#include "CheckedInput.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::function<void(const std::string&)>& Hook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

// What differs between the file seen and the one opened; "" for nothing.
std::string Change(const FileSeen& seen, const struct stat& now)
{
    if (now.st_dev != seen.device || now.st_ino != seen.inode)
        return seen.throughLink ? "it leads to another file now" : "another file stands there now";
    if ((now.st_mode & S_IFMT) != seen.type)
        return "it is no longer what it was";
    if (static_cast<uint64_t>(now.st_size) != seen.size)
        return "it holds " + std::to_string(now.st_size) + " bytes now, " + std::to_string(seen.size) +
               " when it was checked";
    return "";
}

} // namespace

FileSeen SeenFile(const struct stat& info, bool throughLink)
{
    FileSeen seen;
    seen.known = true;
    seen.throughLink = throughLink;
    seen.device = info.st_dev;
    seen.inode = info.st_ino;
    seen.type = info.st_mode & S_IFMT;
    seen.size = static_cast<uint64_t>(info.st_size);
    return seen;
}

int OpenCheckedInput(const std::string& path, const FileSeen& seen, std::string& error)
{
    if (Hook())
        Hook()(path);
    // A link is gone through only where one was seen and allowed; its
    // target is then compared like any file. Without waiting: a FIFO put
    // in the file's place must not hold the build.
    int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (seen.known && !seen.throughLink)
        flags |= O_NOFOLLOW;
    int fd = open(path.c_str(), flags);
    if (fd < 0) {
        error = path + (errno == ELOOP && (flags & O_NOFOLLOW)
                            ? std::string(": changed after it was checked: it is a symbolic link now")
                            : ": " + std::string(strerror(errno)));
        return -1;
    }
    struct stat now;
    std::string change;
    if (fstat(fd, &now) != 0)
        change = strerror(errno);
    else if (seen.known)
        change = Change(seen, now);
    else if (S_ISDIR(now.st_mode))
        change = "is a folder, not a file";
    if (change.empty() && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        change = strerror(errno);
    if (!change.empty()) {
        close(fd);
        error = path + (seen.known ? ": changed after it was checked: " : ": ") + change;
        return -1;
    }
    return fd;
}

bool ReadCheckedInput(const std::string& path, const FileSeen& seen, Bytes& out, std::string& error)
{
    out.clear();
    int fd = OpenCheckedInput(path, seen, error);
    if (fd < 0)
        return false;
    if (seen.known)
        out.reserve(static_cast<size_t>(seen.size));
    uint8_t chunk[1 << 16];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof(chunk))) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = path + ": " + strerror(errno);
            close(fd);
            return false;
        }
        out.insert(out.end(), chunk, chunk + got);
    }
    close(fd);
    if (seen.known && out.size() != seen.size) {
        error = path + ": changed while it was read";
        return false;
    }
    return true;
}

void SetInputOpenHook(std::function<void(const std::string& path)> hook)
{
    Hook() = std::move(hook);
}
