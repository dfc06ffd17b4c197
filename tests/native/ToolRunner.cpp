#include "ToolRunner.h"

#include "lib/FileIo.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ToolResult RunKxpack(const std::vector<std::string>& args)
{
    return RunProgram(KXPACK_PATH, args);
}

namespace {

// `program` as found in PATH, or as given when its name holds a slash; ""
// when there is no such program.
std::string FindProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return access(program.c_str(), X_OK) == 0 ? program : "";
    const char* path = getenv("PATH");
    std::string folders = path ? path : "";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = std::min(folders.find(':', start), folders.size());
        std::string candidate = (end > start ? folders.substr(start, end - start) : ".") + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

// Starts `program` with its output going to the files named; 0 when it cannot.
// Forked, not spawned: a child that shares this process's memory until it
// starts the program (as posix_spawn's does) takes this process's peak
// memory as its own, and the tests read the child's.
pid_t Start(const std::string& program, const std::vector<std::string>& args, const std::string& outPath,
            const std::string& errPath)
{
    std::string path = FindProgram(program);
    if (path.empty())
        return 0;
    std::vector<char*> argv;
    std::vector<std::string> copies = {program};
    copies.insert(copies.end(), args.begin(), args.end());
    for (auto& arg : copies)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        // Only what is safe between fork and exec.
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(127);
        close(out);
        close(err);
        execve(path.c_str(), argv.data(), environ);
        _exit(127);
    }
    return pid > 0 ? pid : 0;
}

} // namespace

pid_t StartKxpack(const std::vector<std::string>& args)
{
    return Start(KXPACK_PATH, args, "/dev/null", "/dev/null");
}

ToolResult RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    CScratchFolder capture;
    std::string outPath = capture / "out", errPath = capture / "err";
    ToolResult result;
    if (pid_t pid = Start(program, args, outPath, errPath)) {
        int status = 0;
        struct rusage usage = {};
        wait4(pid, &status, 0, &usage);
        result.peakKilobytes = usage.ru_maxrss;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

CScratchFolder::CScratchFolder()
{
    char pattern[] = "/tmp/kxpack-test-XXXXXX";
    m_path = mkdtemp(pattern);
}

CScratchFolder::~CScratchFolder()
{
    std::string command = "/bin/rm -rf '" + m_path + "'";
    if (system(command.c_str()) != 0)
        return;
}

std::vector<std::string> CScratchFolder::List() const
{
    std::vector<std::string> names;
    std::string error;
    ListFolder(m_path, names, error);
    return names;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}
