#include "ToolRunner.h"

#include "lib/FileIo.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ToolResult RunKxpack(const std::vector<std::string>& args)
{
    return RunProgram(KXPACK_PATH, args);
}

namespace {

// Starts `program` with its output going to the files named; 0 when it cannot.
pid_t Start(const std::string& program, const std::vector<std::string>& args, const std::string& outPath,
            const std::string& errPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    std::vector<std::string> copies = {program};
    copies.insert(copies.end(), args.begin(), args.end());
    for (auto& arg : copies)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
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
        waitpid(pid, &status, 0);
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
