#include "install/EngineFixture.h"

#include <windows.h>
#include <shlobj.h>

#include <prsht.h>

#include "app/Startup.h"
#include "base/FileSystem.h"
#include "state/State.h"
#include "support/Process.h"
#include "support/TestPackage.h"
#include "support/UnixLink.h"

const std::vector<ReportedStep> SUCCESSFUL_INSTALL = {
    {0, StepRunning}, {0, StepDone}, {1, StepRunning}, {1, StepDone},
    {2, StepRunning}, {2, StepDone}, {3, StepRunning}, {3, StepDone},
};

std::vector<std::wstring> Paths(const CPathList& list)
{
    std::vector<std::wstring> paths;
    for (unsigned i = 0; i < list.GetCount(); ++i)
        paths.push_back(list[i]);
    return paths;
}

std::map<std::wstring, std::wstring> RegistryValues(const std::wstring& keyName)
{
    std::map<std::wstring, std::wstring> values;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[1024];
        DWORD nameChars = 256, dataBytes = sizeof(data), type = 0;
        if (RegEnumValueW(key, i, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes) !=
            ERROR_SUCCESS)
            break;
        values[name] = type == REG_SZ ? data : L"<not a string>";
    }
    RegCloseKey(key);
    return values;
}

DWORD RegistryNumber(const std::wstring& keyName, const wchar_t* name)
{
    DWORD data = 0, bytes = sizeof(data), type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ~0u;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD ? data : ~0u;
}

std::wstring EngineTest::SampleInstaller()
{
    return ProgramFolder() + L"\\kestrel-setup.exe";
}

bool EngineTest::Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void EngineTest::SetUp()
{
    CoInitialize(nullptr);
    ASSERT_TRUE(LoadPackageAndNames(SampleInstaller().c_str()));
    // A blank in the folder, as below "Program Files".
    m_install = m_root.Path(L"Kestrel Trader");
    m_group = L"KxTest Kestrel " + std::to_wstring(GetCurrentProcessId());
    m_settings.folder.Assign(m_install.c_str());
    m_settings.group.Assign(m_group.c_str());
    m_settings.createDesktopShortcut = true;
    m_settings.launchAfterInstall = true;
    SetEnvironmentVariableW(L"KXTERMINAL_LOG", TerminalLog().c_str());
}

void EngineTest::TearDown()
{
    RemoveTree(GroupFolder());
    DeleteFileW(DesktopLink().c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, UninstallKey().c_str());
    SetEnvironmentVariableW(L"KXTERMINAL_LOG", nullptr);
    CoUninitialize();
}

void EngineTest::RunInstallation(CInstallEngine& engine, const std::wstring& installer)
{
    engine.SetSettings(m_settings);
    engine.SetSourceProgram(installer.c_str());
    engine.RunInstall();
}

bool EngineTest::LinkDocsOutside(const std::wstring& outside) const
{
    std::wstring docs = m_install + L"\\docs";
    return CreateDirectoryW(outside.c_str(), nullptr) &&
           WriteBytes(outside + L"\\manual.txt", ByteVector{'m', 'i', 'n', 'e'}) &&
           DeleteFileW((docs + L"\\manual.txt").c_str()) && RemoveDirectoryW(docs.c_str()) &&
           MakeUnixLink(docs, "../" + std::string(outside.begin() + outside.rfind(L'\\') + 1, outside.end()));
}

std::wstring EngineTest::GroupFolder() const
{
    wchar_t programs[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    return std::wstring(programs) + L"\\" + m_group;
}

std::wstring EngineTest::DesktopLink() const
{
    wchar_t desktop[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE);
    return std::wstring(desktop) + L"\\Kestrel Trader.lnk";
}

std::wstring EngineTest::TerminalLog() const
{
    return m_root.Path(L"terminal.log");
}

std::wstring EngineTest::UninstallKey() const
{
    return L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel Trader";
}
