// The system's entry for the installed program, its first start with
// /install, and its launch at Finish.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "base/ChildProcess.h"
#include "base/RegKey.h"
#include "install/InstallEngine.h"
#include "install/Registration.h"
#include "state/State.h"

namespace {

const DWORD FIRST_START_TIMEOUT_MS = 60000;

// Wide strings: narrowed to the ANSI code page, a path outside it would be
// written as another path (best-fit mapping turns full-width letters into
// plain ones).
void SetTextValue(HKEY key, const wchar_t* name, const wchar_t* data)
{
    size_t bytes = (wcslen(data) + 1) * sizeof(wchar_t);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
}

// The values RegisterUninstaller writes.
const wchar_t* const ENTRY_VALUES[] = {L"DisplayName", L"DisplayIcon",     L"DisplayVersion", L"Publisher",
                                      L"UninstallString", L"InstallLocation", L"EstimatedSize",  L"NoModify",
                                      L"NoRepair",        L"URLInfoAbout"};

void SetNumberValue(HKEY key, const wchar_t* name, DWORD data)
{
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
}

} // namespace

void FormatUninstallKey(CStr& key)
{
    // A name too long for the key is cut, alike when the uninstaller deletes it.
    TStrStatic<0x200 + 64> text;
    text.Format(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s", ProgramName.GetString());
    key.Assign(text);
}

bool RegisterUninstaller(const TUninstallEntry& entry)
{
    TStrStatic<MAX_PATH> keyName;
    FormatUninstallKey(keyName);
    CRegKey key;
    if (!key.Create(HKEY_LOCAL_MACHINE, keyName, KEY_WRITE))
        return false;
    SetTextValue(key.Get(), L"DisplayName", ProgramName);
    SetTextValue(key.Get(), L"DisplayIcon", entry.mainProgramPath);
    SetTextValue(key.Get(), L"DisplayVersion", entry.version && *entry.version ? entry.version : L"5.00");
    SetTextValue(key.Get(), L"Publisher", CompanyName);
    // Quoted: the system runs the command line with administrator rights,
    // and "C:\Apps\Kestrel Trader\Uninstall.exe" unquoted would start a
    // C:\Apps\Kestrel.exe that any user may have placed there.
    TStrStatic<MAX_PATH + 4> command;
    if (command.Format(L"\"%s\"", entry.uninstallerPath) > 0)
        SetTextValue(key.Get(), L"UninstallString", command);
    // What Windows shows beyond the five: the place, the size (KB, rounded
    // up, at most what a DWORD holds), and no Modify or Repair buttons, as
    // the uninstaller offers neither.
    SetTextValue(key.Get(), L"InstallLocation", entry.installFolder);
    uint64_t kilobytes = entry.installedBytes / 1024 + (entry.installedBytes % 1024 != 0);
    SetNumberValue(key.Get(), L"EstimatedSize", kilobytes > MAXDWORD ? MAXDWORD : static_cast<DWORD>(kilobytes));
    SetNumberValue(key.Get(), L"NoModify", 1);
    SetNumberValue(key.Get(), L"NoRepair", 1);
    if (entry.aboutLink && *entry.aboutLink)
        SetTextValue(key.Get(), L"URLInfoAbout", entry.aboutLink);
    return true;
}

void CRegistrationBackup::Capture()
{
    static_assert(sizeof(ENTRY_VALUES) / sizeof(ENTRY_VALUES[0]) == VALUE_COUNT, "one slot per value");
    TStrStatic<MAX_PATH> keyName;
    FormatUninstallKey(keyName);
    CRegKey key;
    m_bCaptured = true;
    m_bExisted = key.Open(HKEY_LOCAL_MACHINE, keyName, KEY_READ);
    for (unsigned i = 0; i < VALUE_COUNT; ++i) {
        TValue& value = m_values[i];
        value.bytes = VALUE_BYTES;
        // A value too long to keep is deleted rather than put back cut.
        value.present = m_bExisted && RegQueryValueExW(key.Get(), ENTRY_VALUES[i], nullptr, &value.type, value.data,
                                                       &value.bytes) == ERROR_SUCCESS;
    }
}

void CRegistrationBackup::Restore() const
{
    if (!m_bCaptured)
        return;
    TStrStatic<MAX_PATH> keyName;
    FormatUninstallKey(keyName);
    if (!m_bExisted) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyName);
        return;
    }
    CRegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, keyName, KEY_WRITE))
        return;
    for (unsigned i = 0; i < VALUE_COUNT; ++i) {
        const TValue& value = m_values[i];
        if (value.present)
            RegSetValueExW(key.Get(), ENTRY_VALUES[i], 0, value.type, value.data, value.bytes);
        else
            RegDeleteValueW(key.Get(), ENTRY_VALUES[i]);
    }
}

bool CInstallEngine::RunFirstStart(const wchar_t* programPath)
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
    return RunAndWait(commandLine, m_settings.folder, FIRST_START_TIMEOUT_MS);
}

void CInstallEngine::LaunchProgram()
{
    ShellExecuteW(nullptr, L"open", m_mainProgram, nullptr, m_settings.folder, SW_SHOWNORMAL);
}
