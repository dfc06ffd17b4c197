#include "base/SystemLibrary.h"

#include "base/Str.h"

namespace {

// From the Windows 8 headers; the XP headers we build against lack it.
const DWORD LOAD_LIBRARY_SEARCH_SYSTEM32_FLAG = 0x00000800;

} // namespace

FARPROC GetKernelFunctionAddress(const char* name)
{
    // kernel32 is mapped into every process: no search takes place.
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? GetProcAddress(kernel, name) : nullptr;
}

bool RestrictDllSearch()
{
    auto setDefault = GetKernelFunction<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32_FLAG))
        return true;
    if (auto setDirectory = GetKernelFunction<SetDllDirectoryWFn>("SetDllDirectoryW"))
        setDirectory(L"");
    return false;
}

bool GetSystemFilePath(const wchar_t* name, CStr& path)
{
    UINT length = GetSystemDirectoryW(path.GetBuffer(), path.GetCapacity());
    if (length == 0 || length >= path.GetCapacity())
        return false;
    path.UpdateLength();
    TStrStatic<0x104> folder(path);
    return path.Format(L"%s\\%s", folder.GetString(), name) > 0;
}

namespace {

FARPROC FindFunction(HMODULE module, const char* name)
{
    FARPROC function = module ? GetProcAddress(module, name) : nullptr;
    if (!function)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return function;
}

} // namespace

FARPROC GetSystemFunction(const wchar_t* dll, const char* name)
{
    HMODULE module = GetModuleHandleW(dll);
    TStrStatic<0x104> path;
    // Never freed: the process keeps it, as it keeps its imports.
    if (!module && GetSystemFilePath(dll, path))
        module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return FindFunction(module, name);
}

FARPROC GetCommonControlsFunction(const char* name)
{
    HMODULE module = GetModuleHandleW(L"comctl32.dll");
    if (!module)
        module = LoadLibraryW(L"comctl32.dll");
    return FindFunction(module, name);
}

bool CSystemLibrary::Load(const wchar_t* name)
{
    Free();
    TStrStatic<0x104> path;
    if (!GetSystemFilePath(name, path))
        return false;
    // The altered search path makes the DLL's own imports resolve from System32 too.
    m_hModule = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return m_hModule != nullptr;
}

FARPROC CSystemLibrary::GetProc(const char* name) const
{
    return m_hModule ? GetProcAddress(m_hModule, name) : nullptr;
}

void CSystemLibrary::Free()
{
    if (m_hModule) {
        FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
}
