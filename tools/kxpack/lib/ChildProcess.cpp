#include "ChildProcess.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ChildGroups.h"
#include "ScratchFiles.h"

extern char** environ;

namespace {

std::string Trim(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos)
        return "";
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(start, end - start + 1);
}

// "40F7...:error:05800074:x509 certificate routines:...": OpenSSL's error stack.
bool IsErrorStackLine(const std::string& line)
{
    size_t colon = line.find(':');
    return colon != std::string::npos && colon > 0 &&
           line.find_first_not_of("0123456789ABCDEFabcdef") == colon &&
           line.compare(colon, 7, ":error:") == 0;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// "<pid>:error:<code>:<library>:<function>:<reason>:<file>:<line>:": the reason.
std::string StackReason(const std::string& line)
{
    size_t at = 0;
    for (int field = 0; field < 5 && at != std::string::npos; ++field)
        at = line.find(':', at + 1);
    if (at == std::string::npos)
        return line;
    size_t end = line.find(':', at + 1);
    return line.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

int64_t NowMs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// Reads `fd` until its end (the child's stderr ends with it); false when
// `seconds` pass first.
bool ReadToEnd(int fd, int seconds, std::string& text)
{
    const int64_t deadline = NowMs() + seconds * 1000LL;
    for (;;) {
        int64_t left = deadline - NowMs();
        struct pollfd wait = {fd, POLLIN, 0};
        int ready = left > 0 ? poll(&wait, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return false;
        char chunk[4096];
        ssize_t got = ready > 0 ? read(fd, chunk, sizeof(chunk)) : -1;
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        text.append(chunk, static_cast<size_t>(got));
    }
}

} // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args, int seconds)
{
    ChildResult result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.startErrno = errno;
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // No controlling terminal: a prompt for a pass phrase fails at once. The
    // new session is a new process group too, led by the program, so that
    // ending the group ends whatever it starts. The child makes it before
    // it runs the program, and posix_spawn returns only after that (glibc
    // waits for the exec), so no moment passes with the program outside it;
    // the parent could not move a session leader anyway. The signals held
    // below are not the program's.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> copies;
    copies.push_back(program);
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : copies)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    int spawned;
    {
        // Watched before any signal can end kxpack: its group ends with it.
        CSignalsHeld held;
        spawned = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
        if (spawned == 0)
            WatchChildGroup(pid);
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        result.startErrno = spawned;
        return result;
    }
    result.started = true;
    int status = 0;
    bool reaped = false;
    if (!ReadToEnd(pipeFds[0], seconds, result.stderrText)) {
        // The whole group: what the program started would run on, and
        // would hold its stderr open.
        result.timedOut = true;
        CSignalsHeld held;
        reaped = EndChildGroup(pid, status);
        ForgetChildGroup(pid);
    }
    close(pipeFds[0]);
    if (!reaped) {
        // Forgotten once it has exited, before it is reaped: its id cannot
        // have gone to another process yet.
        siginfo_t info;
        while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
        }
        ForgetChildGroup(pid);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

bool IsProgramInPath(const std::string& program)
{
    const char* path = getenv("PATH");
    std::string folders = path ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = end > start ? folders.substr(start, end - start) : ".";
        if (access((folder + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

std::string FirstMessage(const std::string& stderrText)
{
    std::vector<std::string> lines = SplitLines(stderrText);
    bool onlyStack = true;
    for (const auto& line : lines)
        if (!Trim(line).empty() && !IsErrorStackLine(line))
            onlyStack = false;
    if (onlyStack) {
        for (const auto& line : lines)
            if (!Trim(line).empty())
                return StackReason(line);
        return "";
    }
    std::string message;
    for (const auto& line : lines) {
        std::string text = Trim(line);
        bool continuation = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        if (!message.empty() && !(continuation && !text.empty()))
            break;
        bool prompt = text.compare(0, 6, "Enter ") == 0 && text.back() == ':';
        if (text.empty() || prompt || IsErrorStackLine(line))
            continue;
        message += message.empty() ? text : " " + text;
    }
    return message;
}
