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
// kernel32 (Windows Vista and later): condition variables, which wait without
// a kernel object (see CCondition). The variable is a pointer-sized word.
using SleepConditionVariableCSFn = BOOL(WINAPI*)(void* variable, CRITICAL_SECTION* section, DWORD milliseconds);
using WakeConditionVariableFn = void(WINAPI*)(void* variable);

// A kernel32 function that older Windows versions may lack; null then.
FARPROC GetKernelFunctionAddress(const char* name);
template <typename Fn>
Fn GetKernelFunction(const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetKernelFunctionAddress(name)));
}

class CStr;
// "<System32>\<name>": programs and DLLs of the system are named by their
// full path, never searched for.
bool GetSystemFilePath(const wchar_t* name, CStr& path);

// Narrows the DLL search to System32; where that call is missing (XP, Vista,
// an unpatched 7), takes the current folder out of the search instead.
// Returns which of the two took effect (true: System32 only).
bool RestrictDllSearch();

// A function of a system DLL that the program does not import: the import
// table holds only DLLs the system maps from System32 whatever the search
// order (kernel32, user32, ...), because imports are resolved before
// RestrictDllSearch can run. The DLL stays loaded for the rest of the
// process, as an imported one would: taken from memory when it is there,
// else loaded by its full System32 path. Null (ERROR_PROC_NOT_FOUND) when
// either is missing.
FARPROC GetSystemFunction(const wchar_t* dll, const char* name);
template <typename Fn>
Fn SystemFunction(const wchar_t* dll, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetSystemFunction(dll, name)));
}

// The same for the common controls, which the manifest binds to version 6
// of their side-by-side assembly: that binding applies to the DLL's name
// only, so it is loaded by name. The name resolves to the assembly before
// any search, and RestrictDllSearch has narrowed the search (for the DLLs
// the assembly loads in turn) by then.
FARPROC GetCommonControlsFunction(const char* name);
template <typename Fn>
Fn CommonControlsFunction(const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetCommonControlsFunction(name)));
}

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
