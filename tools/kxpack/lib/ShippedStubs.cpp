#include "ShippedStubs.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "FileIo.h"

namespace {

std::string Parent(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The running program's file: /proc/self/exe has every link resolved, so a
// link to kxpack elsewhere (/usr/local/bin) still finds the real tree.
bool OwnProgram(std::string& path, std::string& error)
{
    std::string buffer(4096, '\0');
    ssize_t length = readlink("/proc/self/exe", &buffer[0], buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
        error = std::string("cannot tell where kxpack lies (/proc/self/exe: ") +
                (length < 0 ? strerror(errno) : "too long") + "); give --stub FILE";
        return false;
    }
    path.assign(buffer.data(), static_cast<size_t>(length));
    return true;
}

} // namespace

std::string ShippedStubFolder(const std::string& program)
{
    // The program's path is resolved, so dropping its last two parts is
    // going up from bin/ (and a path at the root stays inside it).
    std::string prefix = Parent(Parent(program));
    return (prefix == "/" ? "" : prefix) + "/share/kxsetup/stubs";
}

bool FindShippedStub(const std::string& edition, std::string& path, std::string& error)
{
    if (edition != "32" && edition != "64") {
        error = "--edition " + edition + ": the editions are 32 and 64";
        return false;
    }
    std::string program;
    if (!OwnProgram(program, error))
        return false;
    path = ShippedStubFolder(program) + "/setup-" + edition + ".exe";
    if (!IsRegularFile(path)) {
        error = "no setup program of the " + edition + "-bit edition at " + path +
                " (where kxpack's package installs it); give --stub FILE";
        return false;
    }
    return true;
}
