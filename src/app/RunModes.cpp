#include "app/RunModes.h"

#include <windows.h>

#include <cwchar>

#include "base/Handle.h"
#include "base/KeyText.h"

namespace {

const wchar_t CHECKUP[] = L"/checkup";
const wchar_t PROCESS_WAIT[] = L"/processwait";
const wchar_t PROCESS_WAIT_KEY[] = L"/processwait:";

// PROCESS_ALL_ACCESS as the Windows XP headers define it.
const DWORD PROCESS_WAIT_ACCESS = 0x1F0FFF;
const int PROCESS_WAIT_PROBES = 10;
const DWORD PROCESS_WAIT_INTERVAL_MS = 300;

} // namespace

bool RunServiceMode(const wchar_t* commandLine, int* exitCode)
{
    if (!commandLine)
        return false;
    if (wcscmp(commandLine, CHECKUP) == 0) {
        *exitCode = EXIT_CHECKUP;
        return true;
    }
    if (FindText(commandLine, PROCESS_WAIT) == 0) {
        *exitCode = WaitForProcessExit(commandLine);
        return true;
    }
    return false;
}

int WaitForProcessExit(const wchar_t* commandLine)
{
    int processId = 0;
    if (!GetKeyInt(commandLine, PROCESS_WAIT_KEY, &processId))
        return EXIT_FAILED;
    for (int probe = 0; probe < PROCESS_WAIT_PROBES; ++probe) {
        CHandle process(OpenProcess(PROCESS_WAIT_ACCESS, FALSE, static_cast<DWORD>(processId)));
        if (!process)
            return EXIT_PROCESS_GONE;
        // An ended process stays open-able while anyone (its parent, say) holds a
        // handle to it; it is gone all the same.
        if (WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0)
            return EXIT_PROCESS_GONE;
        process.Close();
        Sleep(PROCESS_WAIT_INTERVAL_MS);
    }
    return EXIT_FAILED;
}
