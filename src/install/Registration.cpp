// The system's entry for the installed program, its first start with
// /install, and its launch at Finish.
#include <windows.h>
#include <shellapi.h>

#include "app/Globals.h"
#include "base/ChildProcess.h"
#include "base/RegKey.h"
#include "install/InstallWorker.h"

namespace {

const DWORD FIRST_START_TIMEOUT_MS = 60000;
const unsigned ANSI_VALUE_BYTES = 260;

// Written through the 8-bit interface in the ANSI code page. A text that
// does not fit is left out rather than cut or mangled.
void SetAnsiValue(HKEY key, const wchar_t* name, const wchar_t* data)
{
    char ansiName[ANSI_VALUE_BYTES], ansiData[ANSI_VALUE_BYTES];
    int nameBytes = WideCharToMultiByte(CP_ACP, 0, name, -1, ansiName, ANSI_VALUE_BYTES, nullptr, nullptr);
    int dataBytes = WideCharToMultiByte(CP_ACP, 0, data, -1, ansiData, ANSI_VALUE_BYTES, nullptr, nullptr);
    if (nameBytes <= 0 || dataBytes <= 0)
        return;
    RegSetValueExA(key, ansiName, 0, REG_SZ, reinterpret_cast<const BYTE*>(ansiData),
                   static_cast<DWORD>(dataBytes));
}

} // namespace

void FormatUninstallKey(CStr& key)
{
    // A name too long for the key is cut, alike when the uninstaller deletes it.
    TStrStatic<0x200 + 64> text;
    text.Format(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s", ProgramName.GetString());
    key.Assign(text);
}

bool CInstallWorker::RegisterUninstaller(const wchar_t* uninstallerPath)
{
    TStrStatic<MAX_PATH> keyName;
    FormatUninstallKey(keyName);
    CRegKey key;
    if (!key.Create(HKEY_LOCAL_MACHINE, keyName, KEY_WRITE))
        return false;
    SetAnsiValue(key.Get(), L"DisplayName", ProgramName);
    SetAnsiValue(key.Get(), L"DisplayIcon", MainProgramPath);
    SetAnsiValue(key.Get(), L"DisplayVersion", L"5.00");
    SetAnsiValue(key.Get(), L"Publisher", CompanyName);
    SetAnsiValue(key.Get(), L"UninstallString", uninstallerPath);
    return true;
}

bool CInstallWorker::RunFirstStart(const wchar_t* programPath)
{
    if (!programPath || !*programPath) {
        // No main program configured: the report names the missing file,
        // not some earlier error.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    // Room for a full path with quotes and the switch: never cut.
    TStrStatic<MAX_PATH + 16> commandLine;
    if (commandLine.Format(L"\"%s\" /install", programPath) <= 0)
        return false;
    return RunAndWait(commandLine, FIRST_START_TIMEOUT_MS);
}

void CInstallWorker::LaunchProgram()
{
    ShellExecuteW(nullptr, L"open", MainProgramPath, nullptr, InstallFolder, SW_SHOWNORMAL);
}
