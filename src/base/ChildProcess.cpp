#include "base/ChildProcess.h"

#include "base/Handle.h"
#include "base/Str.h"

bool RunAndWait(CStr& commandLine, const wchar_t* folder, DWORD timeoutMs)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!commandLine.GetBuffer() || !CreateProcessW(nullptr, commandLine.GetBuffer(), nullptr, nullptr, FALSE,
                                                    CREATE_NO_WINDOW, nullptr, folder, &startup, &process))
        return false;
    CHandle processHandle(process.hProcess), threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, timeoutMs);
    return true;
}
