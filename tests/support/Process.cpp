#include "support/Process.h"

#include <vector>

namespace {

struct WindowSearch {
    DWORD processId;
    bool found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM search)
{
    auto* result = reinterpret_cast<WindowSearch*>(search);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == result->processId && IsWindowVisible(window)) {
        result->found = true;
        return FALSE;
    }
    return TRUE;
}

} // namespace

ProcessResult RunProgram(const std::wstring& program, const std::wstring& arguments,
                         DWORD timeoutMs)
{
    ProcessResult result;
    std::wstring line = L"\"" + program + L"\"";
    if (!arguments.empty())
        line += L" " + arguments;
    std::vector<wchar_t> commandLine(line.begin(), line.end());
    commandLine.push_back(0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    DWORD start = GetTickCount();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return result;
    result.started = true;
    CloseHandle(info.hThread);
    DWORD wait = WAIT_TIMEOUT;
    while ((wait = WaitForSingleObject(info.hProcess, 50)) == WAIT_TIMEOUT && GetTickCount() - start < timeoutMs)
        if (!result.showedWindow)
            result.showedWindow = HasVisibleWindow(info.dwProcessId);
    if (wait == WAIT_OBJECT_0) {
        result.finished = true;
        GetExitCodeProcess(info.hProcess, &result.exitCode);
    } else {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 5000);
    }
    result.elapsedMs = GetTickCount() - start;
    CloseHandle(info.hProcess);
    return result;
}

bool HasVisibleWindow(DWORD processId)
{
    WindowSearch search = {processId, false};
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.rfind(L'\\'));
}
