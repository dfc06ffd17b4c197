#include "install/Shortcuts.h"

#include <windows.h>
#include <shlobj.h>

#include "base/ComPtr.h"
#include "base/FileSystem.h"
#include "base/KeyText.h"
#include "install/InstallEngine.h"
#include "install/ProgramGroup.h"
#include "package/InstallPackage.h"
#include "res/TextIds.h"
#include "state/State.h"

namespace {

// Up to 63 shortcuts, numbered from 1.
const unsigned MAX_SHORTCUTS = 63;

// The four keys of shortcut `n`; false at the first one missing.
bool ReadShortcutEntry(const CDCContainer& license, unsigned n, CStr& name, CStr& file, CStr& iconFile,
                       CStr& iconIndex)
{
    TStrStatic<32> key;
    key.Format(L"link_name_%u=", n);
    if (!license.GetConfigValue(key, name))
        return false;
    key.Format(L"file_name_%u=", n);
    if (!license.GetConfigValue(key, file))
        return false;
    key.Format(L"icon_file_%u=", n);
    if (!license.GetConfigValue(key, iconFile))
        return false;
    key.Format(L"icon_index_%u=", n);
    return license.GetConfigValue(key, iconIndex);
}

} // namespace

bool CreateShortcut(const wchar_t* workingFolder, const wchar_t* target, const wchar_t* shortcutPath,
                    const wchar_t* description, const wchar_t* arguments, const wchar_t* iconFile,
                    int iconIndex)
{
    if (!target || !shortcutPath || !description || !arguments)
        return false;
    TComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.Receive())))
        return false;
    link->SetPath(target);
    link->SetArguments(arguments);
    link->SetWorkingDirectory(workingFolder);
    link->SetDescription(description);
    wchar_t icon[256];
    CopyText(icon, 256, iconFile ? iconFile : L"");
    if (iconIndex < 0) {
        wchar_t typeIcon[256];
        GetIconLocation(target, typeIcon, &iconIndex);
        if (typeIcon[0])
            CopyText(icon, 256, typeIcon);
    }
    link->SetIconLocation(icon, iconIndex);
    TComPtr<IPersistFile> file;
    HRESULT result = link->QueryInterface(IID_IPersistFile, file.Receive());
    if (SUCCEEDED(result))
        result = file->Save(shortcutPath, TRUE);
    if (FAILED(result)) {
        // The shell's reason when it is a system error code, else a general one.
        SetLastError(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : ERROR_CANNOT_MAKE);
        return false;
    }
    return true;
}

bool CreateDesktopLink(const wchar_t* target, const wchar_t* workingFolder, wchar_t* out, size_t outChars)
{
    if (!target || !out || outChars == 0)
        return false;
    TStrStatic<MAX_PATH> desktop;
    if (!GetSpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, desktop))
        return false;
    TStrStatic<MAX_PATH + 0x200> path;
    if (path.Format(L"%s\\%s.lnk", desktop.GetString(), ProgramName.GetString()) <= 0 ||
        path.GetLength() >= outChars || path.GetLength() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    CopyText(out, outChars, path);
    return CreateShortcut(workingFolder, target, out, L"", L"", target, 0);
}

bool CInstallEngine::CreateProgramGroup()
{
    const CDCContainer* license = m_package.m_pLicense;
    if (!license)
        return false;
    bool created = false;
    const wchar_t* folder = m_settings.folder;
    if (!CreateProgramGroupFolder(m_settings.group, m_groupPath.GetBuffer(), &created)) {
        DWORD error = GetLastError();
        m_report.Warning(IDS_GROUP_FAILED);
        SetLastError(error); // for the step's error report
        return false;
    }
    m_groupPath.UpdateLength();
    // Rollback and uninstallation remove the folder only when this run made it.
    m_bGroupCreated = created;

    for (unsigned n = 1; n <= MAX_SHORTCUTS; ++n) {
        TStrStatic<MAX_PATH> name, file, iconFile, iconIndex;
        if (!ReadShortcutEntry(*license, n, name, file, iconFile, iconIndex))
            break;
        TStrStatic<MAX_PATH> target, shortcut, icon;
        target.Format(L"%s\\%s", folder, file.GetString());
        shortcut.Format(L"%s\\%s", m_groupPath.GetString(), name.GetString());
        icon.Format(L"%s\\%s", folder, iconFile.GetString());
        // A shortcut that could not be saved is neither shown nor listed for
        // removal; the program works without it.
        if (CreateShortcut(folder, target, shortcut, L"", L"", icon, _wtoi(iconIndex)))
            m_createdFiles.Add(shortcut);
        if (n == 1)
            m_mainProgram = target;
    }
    return true;
}

bool CInstallEngine::AddDesktopLink()
{
    wchar_t path[MAX_PATH];
    if (!CreateDesktopLink(m_mainProgram, m_settings.folder, path, MAX_PATH))
        return false;
    m_createdFiles.Add(path);
    return true;
}
