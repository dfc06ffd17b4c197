// kxdemo: runs an installer built by kxpack from start to end and then its
// uninstaller, as a user would, driven through window messages. It saves a
// screenshot of every page and prints what was installed and what removed.
//   kxdemo.exe INSTALLER SCREENSHOT_FOLDER
#include <windows.h>
#include <prsht.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "WizardDriver.h"
#include "res/ResourceIds.h"

namespace {

const DWORD STEP_TIMEOUT_MS = 120000;

struct Installation {
    std::wstring product, folder, group, groupFolder;
    std::vector<std::wstring> files, shortcuts;
    std::vector<std::pair<std::wstring, std::wstring>> registry;
};

void Say(const wchar_t* format, const std::wstring& text = L"")
{
    wprintf(format, text.c_str());
    fflush(stdout);
}

int Fail(const wchar_t* what)
{
    wprintf(L"kxdemo: %ls\n", what);
    return 1;
}

std::wstring UninstallKey(const std::wstring& product)
{
    return L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product;
}

std::vector<std::pair<std::wstring, std::wstring>> RegistryValues(const std::wstring& product)
{
    std::vector<std::pair<std::wstring, std::wstring>> values;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKey(product).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[1024];
        DWORD nameChars = 256, dataBytes = sizeof(data) - sizeof(wchar_t), type = 0;
        if (RegEnumValueW(key, i, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes) !=
            ERROR_SUCCESS)
            break;
        data[dataBytes / sizeof(wchar_t)] = 0;
        values.push_back({name, type == REG_SZ ? data : L"?"});
    }
    RegCloseKey(key);
    return values;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Finds the sheet of the program whatever its product name: "<name> Setup".
HWND WaitForSheetEndingIn(CWizardDriver& driver, const std::wstring& suffix, std::wstring& product)
{
    HWND found = nullptr;
    CWizardDriver::WaitUntil([&] {
        for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t title[512];
            if (owner != driver.ProcessId() || !IsWindowVisible(window) || !GetWindowTextW(window, title, 512))
                continue;
            std::wstring text = title;
            if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
                product = text.substr(0, text.size() - suffix.size());
                found = window;
                return true;
            }
        }
        return false;
    }, 30000);
    return found ? driver.WaitForSheet(product + suffix) : nullptr;
}

// Which edition of setup.exe a file is, from its PE header's machine.
const wchar_t* EditionOf(const std::wstring& program)
{
    HANDLE file = CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return L"edition unknown: not a PE image";
    unsigned char header[0x400] = {};
    DWORD read = 0;
    ReadFile(file, header, sizeof(header), &read, nullptr);
    CloseHandle(file);
    DWORD pe = 0;
    memcpy(&pe, header + 0x3C, sizeof(pe));
    if (read < sizeof(header) || pe > sizeof(header) - 6 || memcmp(header + pe, "PE\0\0", 4) != 0)
        return L"edition unknown: not a PE image";
    WORD machine = static_cast<WORD>(header[pe + 4] | header[pe + 5] << 8);
    return machine == IMAGE_FILE_MACHINE_AMD64 ? L"64-bit edition"
           : machine == IMAGE_FILE_MACHINE_I386 ? L"32-bit edition"
                                                : L"edition unknown to this demo";
}

int Install(const std::wstring& installer, CWizardDriver& driver, Installation& result)
{
    Say(L"== Installing with %ls", installer);
    Say(L" (the %ls)\n", EditionOf(installer));
    if (!driver.Start(installer) || !WaitForSheetEndingIn(driver, L" Setup", result.product))
        return Fail(L"the installer's wizard did not appear");
    HWND welcome = driver.WaitForPage(IDC_INTRO);
    if (!welcome || !driver.WaitForButton(ID_WIZNEXT, true))
        return Fail(L"no welcome page, or its checks failed");
    Say(L"welcome:  %ls\n", driver.ItemText(welcome, IDC_INTRO));
    Say(L"  screenshot %ls\n", driver.Screenshot(driver.Sheet(), L"welcome"));
    driver.Press(PSBTN_NEXT);

    HWND license = driver.WaitForPage(IDC_LICENSE_TEXT);
    if (!license)
        return Fail(L"no licence page");
    std::wstring text = driver.ItemText(license, IDC_LICENSE_TEXT);
    Say(L"licence:  %ls\n", text.substr(0, text.find(L'\r')));
    Say(L"  screenshot %ls\n", driver.Screenshot(driver.Sheet(), L"license"));
    driver.Click(license, IDC_AGREE);
    if (!driver.WaitForButton(ID_WIZNEXT, true))
        return Fail(L"Next stayed disabled after the agreement");
    Say(L"  screenshot %ls\n", driver.Screenshot(driver.Sheet(), L"license-agreed"));
    driver.Press(PSBTN_NEXT);

    HWND settings = driver.WaitForPage(IDC_FOLDER);
    if (!settings)
        return Fail(L"no settings page");
    result.folder = driver.ItemText(settings, IDC_FOLDER);
    result.group = driver.ItemText(settings, IDC_GROUP);
    Say(L"settings: folder %ls", result.folder);
    Say(L", group %ls\n", result.group);
    Say(L"  screenshot %ls\n", driver.Screenshot(driver.Sheet(), L"settings"));
    driver.Press(PSBTN_NEXT);

    if (!driver.WaitForPage(IDC_STEP_LIST) || !driver.WaitForButton(ID_WIZFINISH, true, STEP_TIMEOUT_MS))
        return Fail(L"the installation did not end");
    Say(L"progress: %ls\n", driver.ItemText(driver.CurrentPage(), 259));
    Say(L"  screenshot %ls\n", driver.Screenshot(driver.Sheet(), L"installed"));
    driver.Press(PSBTN_FINISH);
    DWORD exitCode = 0;
    if (!driver.WaitForExit(30000, &exitCode))
        return Fail(L"the installer did not exit");
    Say(L"exit code %ls\n", std::to_wstring(exitCode));

    // Finish launched the installed program: show it, then close it.
    HWND program = nullptr;
    CWizardDriver::WaitUntil([&] {
        for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
            wchar_t title[512];
            if (IsWindowVisible(window) && GetWindowTextW(window, title, 512) && result.product == title)
                return (program = window) != nullptr;
        }
        return false;
    }, 20000);
    if (program) {
        Sleep(300);
        Say(L"launched: %ls\n", driver.Screenshot(program, L"program"));
        PostMessageW(program, WM_CLOSE, 0, 0);
    }
    return 0;
}

void Describe(Installation& installed)
{
    wchar_t programs[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    installed.groupFolder = std::wstring(programs) + L"\\" + installed.group;
    installed.files = FilesBelow(installed.folder);
    installed.shortcuts = FilesBelow(installed.groupFolder);
    wchar_t desktop[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE);
    std::wstring link = std::wstring(desktop) + L"\\" + installed.product + L".lnk";
    if (Exists(link))
        installed.shortcuts.push_back(link);
    installed.registry = RegistryValues(installed.product);

    Say(L"\n== Installed: %ls\n", installed.product);
    for (const auto& file : installed.files)
        Say(L"  file      %ls\n", file);
    for (const auto& shortcut : installed.shortcuts)
        Say(L"  shortcut  %ls\n", shortcut);
    Say(L"  registry  HKLM\\%ls\n", UninstallKey(installed.product));
    for (const auto& value : installed.registry)
        Say(L"            %ls\n", value.first + L" = " + value.second);
}

int Uninstall(CWizardDriver& driver, const Installation& installed)
{
    Say(L"\n== Uninstalling with %ls\n", installed.folder + L"\\Uninstall.exe");
    std::wstring product;
    if (!driver.Start(installed.folder + L"\\Uninstall.exe") || !WaitForSheetEndingIn(driver, L" Uninstall", product))
        return Fail(L"the uninstaller's wizard did not appear");
    HWND welcome = driver.WaitForPage(IDC_DELETE_DATA);
    if (!welcome)
        return Fail(L"no uninstall welcome page");
    driver.Click(welcome, IDC_DELETE_DATA);
    Say(L"welcome:  %ls (personal data too)\n", driver.ItemText(welcome, IDC_INTRO));
    Say(L"  screenshot %ls\n", driver.Screenshot(driver.Sheet(), L"uninstall-welcome"));
    driver.Press(PSBTN_NEXT);
    if (!driver.WaitForPage(IDC_STEP_LIST) || !driver.WaitForButton(ID_WIZFINISH, true, STEP_TIMEOUT_MS))
        return Fail(L"the uninstallation did not end");
    Say(L"progress: %ls\n", driver.ItemText(driver.CurrentPage(), 259));
    Say(L"  screenshot %ls\n", driver.Screenshot(driver.Sheet(), L"uninstalled"));
    driver.Press(PSBTN_FINISH);
    DWORD exitCode = 0;
    if (!driver.WaitForExit(30000, &exitCode))
        return Fail(L"the uninstaller did not exit");
    Say(L"exit code %ls\n", std::to_wstring(exitCode));
    // The self-removal batch takes the uninstaller and the folder after the exit.
    CWizardDriver::WaitUntil([&] { return !Exists(installed.folder); }, 30000);
    return 0;
}

int Report(const Installation& installed)
{
    Say(L"\n== Removed\n");
    int left = 0;
    auto check = [&](const std::wstring& path) {
        bool gone = !Exists(path);
        Say(gone ? L"  removed   %ls\n" : L"  LEFT      %ls\n", path);
        left += gone ? 0 : 1;
    };
    for (const auto& file : installed.files)
        check(file);
    for (const auto& shortcut : installed.shortcuts)
        check(shortcut);
    check(installed.groupFolder);
    check(installed.folder);
    bool keyGone = RegistryValues(installed.product).empty();
    Say(keyGone ? L"  removed   HKLM\\%ls\n" : L"  LEFT      HKLM\\%ls\n", UninstallKey(installed.product));
    left += keyGone ? 0 : 1;
    return left == 0 ? 0 : Fail(L"the uninstallation left something behind");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        fwprintf(stderr, L"usage: kxdemo INSTALLER SCREENSHOT_FOLDER\n");
        return 2;
    }
    CWizardDriver driver(argv[2]);
    Installation installed;
    if (int failed = Install(argv[1], driver, installed))
        return failed;
    Describe(installed);
    if (int failed = Uninstall(driver, installed))
        return failed;
    Say(L"\n== Screenshots in %ls\n", argv[2]);
    return Report(installed);
}
