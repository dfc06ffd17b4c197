#include "support/TempFolder.h"

#include <windows.h>

#include <atomic>
#include <string>

CTempFolder::CTempFolder()
{
    static std::atomic<unsigned> serial{0};
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    std::wstring base(temp, length);
    if (!base.empty() && base.back() == L'\\')
        base.pop_back();
    for (;;) {
        m_root = base + L"\\kxtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(serial++);
        if (CreateDirectoryW(m_root.c_str(), nullptr))
            break;
    }
}

CTempFolder::~CTempFolder()
{
    RemoveTree(m_root);
}

std::wstring CTempFolder::Path(const std::wstring& relative) const
{
    return m_root + L"\\" + relative;
}

bool RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return RemoveDirectoryW(folder.c_str()) ||
           GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}
