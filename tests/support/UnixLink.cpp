#include "support/UnixLink.h"

#include <windows.h>

#include <atomic>

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

// The session's request folder (a Unix path in KX_LINK_REQUESTS) as seen
// through Wine's Z: drive.
std::wstring RequestFolder()
{
    wchar_t unixPath[MAX_PATH] = L"";
    DWORD length = GetEnvironmentVariableW(L"KX_LINK_REQUESTS", unixPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || unixPath[0] != L'/')
        return L"";
    std::wstring folder = L"Z:";
    for (const wchar_t* p = unixPath; *p; ++p)
        folder += *p == L'/' ? L'\\' : *p;
    return folder;
}

// Hands "<operation>\n<target>\n<unix path of path>\n" to the session, which
// carries it out, and waits until the path is there (or gone).
bool Request(const char* operation, const std::string& target, const std::wstring& path, bool gone)
{
    static std::atomic<unsigned> serial{0};
    auto unixName = reinterpret_cast<WineUnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring folder = RequestFolder();
    if (!unixName || folder.empty())
        return false;
    char* unixPath = unixName(path.c_str());
    if (!unixPath)
        return false;
    std::string text = std::string(operation) + "\n" + target + "\n" + unixPath + "\n";
    HeapFree(GetProcessHeap(), 0, unixPath);
    // Written under another name first: the session takes only whole requests.
    std::wstring name = folder + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(serial++);
    HANDLE file = CreateFileW((name + L".tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
    CloseHandle(file);
    if (!ok || !MoveFileW((name + L".tmp").c_str(), (name + L".req").c_str()))
        return false;
    for (int i = 0; i < 500 && LinkIsThere(path) == gone; ++i)
        Sleep(10);
    return LinkIsThere(path) != gone;
}

} // namespace

bool MakeUnixLink(const std::wstring& link, const std::string& target)
{
    return Request("ln", target, link, false);
}

bool RemoveUnixLink(const std::wstring& link)
{
    return Request("rm", "", link, true);
}
