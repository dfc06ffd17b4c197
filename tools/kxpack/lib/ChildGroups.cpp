#include "ChildGroups.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <sys/wait.h>

namespace {

// A fixed table: the signal handler may only read memory and make calls
// that are safe there.
const int SLOTS = 4;
std::atomic<pid_t> g_leaders[SLOTS];

const int GRACE_MS = 2000;
const int STEP_MS = 10;

// Whether `leader` has exited, left unreaped: while it is a zombie its id
// stays taken, and the group's id with it. (waitid is a plain system call,
// as safe in a signal handler as waitpid.)
bool Exited(pid_t leader)
{
    siginfo_t info;
    info.si_pid = 0;
    int result;
    while ((result = waitid(P_PID, static_cast<id_t>(leader), &info, WEXITED | WNOHANG | WNOWAIT)) != 0 &&
           errno == EINTR) {
    }
    return result != 0 || info.si_pid == leader; // an error: nothing left to wait for
}

} // namespace

bool WatchChildGroup(pid_t leader)
{
    for (auto& slot : g_leaders) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, leader))
            return true;
    }
    return false;
}

void ForgetChildGroup(pid_t leader)
{
    for (auto& slot : g_leaders) {
        pid_t watched = leader;
        if (slot.compare_exchange_strong(watched, 0))
            return;
    }
}

bool EndChildGroup(pid_t leader, int& status)
{
    kill(-leader, SIGTERM);
    for (int waited = 0; waited < GRACE_MS && !Exited(leader); waited += STEP_MS) {
        struct timespec pause = {0, STEP_MS * 1000000L};
        nanosleep(&pause, nullptr);
    }
    // What the leader started and left behind, and a leader deaf to
    // SIGTERM. Sent before the leader is reaped, so that the group's id
    // cannot have gone to another process.
    kill(-leader, SIGKILL);
    pid_t reaped;
    while ((reaped = waitpid(leader, &status, 0)) < 0 && errno == EINTR) {
    }
    return reaped == leader;
}

void EndChildGroups()
{
    for (auto& slot : g_leaders) {
        pid_t leader = slot.load();
        int status;
        if (leader > 0)
            EndChildGroup(leader, status);
    }
}
