#include "app/Startup.h"

#include "app/Globals.h"
#include "app/RunModes.h"

namespace {

bool ReadName(const wchar_t* key, CStr& name)
{
    return Package.m_pLicense->GetConfigValue(key, name) && !name.IsEmpty();
}

} // namespace

bool LoadPackageAndNames(const wchar_t* programPath)
{
    if (!Package.Load(programPath))
        return false;
    SetupFolder.Assign(programPath);
    int slash = SetupFolder.ReverseFind(L'\\');
    if (slash > 0)
        SetupFolder.Truncate(static_cast<unsigned>(slash));
    return ReadName(L"company_program=", ProgramName) &&
           ReadName(L"company_program_brief=", ProgramBrief) &&
           ReadName(L"company_name=", CompanyName);
}

RunMode GetRunMode()
{
    return Package.IsUninstallMode() ? RunMode::Uninstall : RunMode::Install;
}

int RunSetup(HINSTANCE /*instance*/)
{
    Texts.SelectLanguage(GetSystemDefaultLCID());
    TStrStatic<0x104> programPath;
    GetModuleFileNameW(nullptr, programPath.GetBuffer(), programPath.GetCapacity());
    programPath.UpdateLength();
    // A program file without a usable package ends silently: no caption and
    // no language are settled yet.
    if (!LoadPackageAndNames(programPath))
        return EXIT_FAILED;
    // The wizards come next; until they exist there is nothing to show.
    return EXIT_FAILED;
}
