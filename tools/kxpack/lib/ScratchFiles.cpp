#include "ScratchFiles.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// A fixed table: the handler may only read memory and call unlink.
const int SLOTS = 8;
const size_t PATH_BYTES = 4096;
struct Slot {
    std::atomic<bool> used{false};
    std::atomic<bool> ready{false};
    char path[PATH_BYTES];
};
Slot g_slots[SLOTS];

void OnSignal(int signal)
{
    for (auto& slot : g_slots)
        if (slot.ready.load())
            unlink(slot.path);
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

bool RegisterScratchFile(const std::string& path)
{
    if (path.size() >= PATH_BYTES)
        return false;
    for (auto& slot : g_slots) {
        bool expected = false;
        if (slot.used.compare_exchange_strong(expected, true)) {
            memcpy(slot.path, path.c_str(), path.size() + 1);
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
