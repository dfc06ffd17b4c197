// DLLs planted next to the installer, as in a Downloads folder: the
// elevated program must load none of them, neither while Windows resolves
// its imports (before any code of its own runs) nor later.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "support/Process.h"
#include "support/TempFolder.h"

namespace {

// shlwapi is not planted, though the program does not import it either:
// Wine's shell32 imports it, and Wine has no known DLLs that would keep the
// imports of system DLLs in System32 as Windows does. The static check of
// the import table covers it.
const wchar_t* const PLANTED[] = {L"crypt32.dll", L"comctl32.dll"};
const DWORD EXIT_CHECKUP = 12345;
const DWORD WIZARD_LIMIT_MS = 20000;

// Wine loads a DLL of the program's folder only when told to prefer native
// DLLs (per program, in its registry); the planted ones are then found
// wherever Windows would find them. Windows ignores the key.
const wchar_t INSTALLER_NAME[] = L"planted-setup.exe";
const wchar_t OVERRIDES_KEY[] = L"Software\\Wine\\AppDefaults\\planted-setup.exe\\DllOverrides";

class CPreferNativeDlls {
public:
    CPreferNativeDlls()
    {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, OVERRIDES_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        const wchar_t order[] = L"native,builtin";
        for (const wchar_t* dll : {L"crypt32", L"comctl32"})
            RegSetValueExW(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
        RegCloseKey(key);
    }
    ~CPreferNativeDlls() { RegDeleteKeyW(HKEY_CURRENT_USER, OVERRIDES_KEY); }
};

std::wstring LoadedPlants(const CTempFolder& folder)
{
    std::wstring loaded;
    for (const wchar_t* dll : PLANTED)
        if (GetFileAttributesW(folder.Path(std::wstring(dll) + L".planted").c_str()) != INVALID_FILE_ATTRIBUTES)
            loaded += std::wstring(dll) + L" ";
    return loaded;
}

// Runs the installer until its wizard shows (so the signature checks and the
// common controls have been used), then ends it.
bool ShowWizard(const std::wstring& program)
{
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    bool found = false;
    for (DWORD waited = 0; !found && waited < WIZARD_LIMIT_MS; waited += 100) {
        if (WaitForSingleObject(info.hProcess, 100) == WAIT_OBJECT_0)
            break;
        found = HasVisibleWindow(info.dwProcessId);
    }
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hProcess);
    return found;
}

TEST(DllPlantingTest, DllsBesideTheInstallerAreNeverLoaded)
{
    CTempFolder folder;
    std::wstring installer = folder.Path(INSTALLER_NAME);
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\kestrel-setup.exe").c_str(), installer.c_str(), FALSE));
    for (const wchar_t* dll : PLANTED)
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\planted\\" + dll).c_str(), folder.Path(dll).c_str(), FALSE));
    CPreferNativeDlls preferNative;

    ProcessResult checkup = RunProgram(installer, L"/checkup", WIZARD_LIMIT_MS);
    ASSERT_TRUE(checkup.finished);
    EXPECT_EQ(EXIT_CHECKUP, checkup.exitCode);
    EXPECT_EQ(L"", LoadedPlants(folder)) << "loaded while the imports were resolved";

    EXPECT_TRUE(ShowWizard(installer)) << "the wizard did not show";
    EXPECT_EQ(L"", LoadedPlants(folder)) << "loaded by the running installer";
}

} // namespace
