#include "support/UnixLink.h"

#include <windows.h>

#include <cwchar>

namespace {

using WineUnixNameFn = char*(CDECL*)(const wchar_t* path);

bool LinkIsThere(const std::wstring& link)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(link.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

// Runs a Unix program on `path` (a Windows path) and waits until the path
// is there (or gone).
bool RunOnUnixPath(const wchar_t* program, const std::string& arguments, const std::wstring& path, bool gone)
{
    auto unixName = reinterpret_cast<WineUnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    wchar_t enabled[8] = L"";
    GetEnvironmentVariableW(L"KX_LINK_TESTS", enabled, 8);
    if (wcscmp(enabled, L"1") != 0 || !unixName || GetFileAttributesW(program) == INVALID_FILE_ATTRIBUTES)
        return false;
    char* unixPath = unixName(path.c_str());
    if (!unixPath)
        return false;
    // Wine splits the command line by the Windows rules.
    std::string command = "x " + arguments + " \"" + unixPath + "\"";
    HeapFree(GetProcessHeap(), 0, unixPath);
    std::wstring wide(command.begin(), command.end());
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // A Unix program's end cannot be waited for through its handle here.
    for (int i = 0; i < 250 && LinkIsThere(path) == gone; ++i)
        Sleep(20);
    return LinkIsThere(path) != gone;
}

} // namespace

bool MakeUnixLink(const std::wstring& link, const std::string& target)
{
    return RunOnUnixPath(L"Z:\\bin\\ln", "-s \"" + target + "\"", link, false);
}

bool RemoveUnixLink(const std::wstring& link)
{
    return RunOnUnixPath(L"Z:\\bin\\rm", "-f", link, true);
}
