// Where DLLs come from. An installer is often run from a Downloads folder
// that may hold planted DLLs, so the search is narrowed to System32 before
// anything else happens, and DLLs loaded at run time are named by their full
// System32 path.
#pragma once

#include <windows.h>

// Functions looked up at run time, because older Windows versions lack them.
// kernel32 (Windows 7 with KB2533623, Windows 8 and later)
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD directoryFlags);
// kernel32 (Windows XP SP1 and later)
using SetDllDirectoryWFn = BOOL(WINAPI*)(LPCWSTR path);

// Narrows the DLL search to System32; where that call is missing (XP, Vista,
// an unpatched 7), takes the current folder out of the search instead.
// Returns which of the two took effect (true: System32 only).
bool RestrictDllSearch();

// Owner of a system DLL loaded by its full System32 path.
class CSystemLibrary {
public:
    CSystemLibrary() = default;
    ~CSystemLibrary() { Free(); }

    CSystemLibrary(const CSystemLibrary&) = delete;
    CSystemLibrary& operator=(const CSystemLibrary&) = delete;

    // `name` is a file name such as L"psapi.dll".
    bool Load(const wchar_t* name);
    FARPROC GetProc(const char* name) const;
    template <typename Fn>
    Fn Get(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProc(name)));
    }
    void Free();
    bool IsLoaded() const { return m_hModule != nullptr; }

private:
    HMODULE m_hModule = nullptr;
};
