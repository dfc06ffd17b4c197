#include "ScratchFiles.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "ChildGroups.h"

namespace {

// A fixed table: the handler may only read memory and call unlink.
const int SLOTS = 8;
const size_t PATH_BYTES = 4096;
struct Slot {
    std::atomic<bool> used{false};
    std::atomic<bool> ready{false};
    bool folder = false;
    char path[PATH_BYTES];
};
Slot g_slots[SLOTS];

void OnSignal(int signal)
{
    // The helper programs first (osslsigncode writes into a scratch folder),
    // then the files; a scratch folder goes once it is empty.
    EndChildGroups();
    for (auto& slot : g_slots)
        if (slot.ready.load() && !slot.folder)
            unlink(slot.path);
    for (auto& slot : g_slots)
        if (slot.ready.load() && slot.folder)
            rmdir(slot.path);
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = SIG_DFL;
    sigaction(signal, &action, nullptr);
    raise(signal);
}

} // namespace

void RemoveScratchFilesOnSignals()
{
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = OnSignal;
    sigfillset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool RegisterScratchFile(const std::string& path, bool folder)
{
    if (path.size() >= PATH_BYTES)
        return false;
    for (auto& slot : g_slots) {
        bool expected = false;
        if (slot.used.compare_exchange_strong(expected, true)) {
            memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.folder = folder;
            slot.ready.store(true);
            return true;
        }
    }
    return false;
}

void ForgetScratchFile(const std::string& path)
{
    for (auto& slot : g_slots)
        if (slot.ready.load() && path == slot.path) {
            slot.ready.store(false);
            slot.used.store(false);
            return;
        }
}

CSignalsHeld::CSignalsHeld()
{
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &m_before);
}

CSignalsHeld::~CSignalsHeld()
{
    pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

int OpenUnnamedScratchFile(const std::string& folder, std::string& error)
{
    std::string where = folder;
    if (where.empty()) {
        const char* tmp = getenv("TMPDIR");
        where = tmp && *tmp ? tmp : "/tmp";
    }
    int fd = open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    // A file system without unnamed files: a named one, unlinked at once,
    // with no signal in between.
    std::string path = where + "/.kxpack-scratch-XXXXXX";
    {
        CSignalsHeld held;
        fd = mkostemp(&path[0], O_CLOEXEC);
        if (fd >= 0)
            unlink(path.c_str());
    }
    if (fd < 0)
        error = "cannot make a scratch file in " + where + ": " + strerror(errno);
    return fd;
}
