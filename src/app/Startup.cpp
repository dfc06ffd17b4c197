#include "app/Startup.h"

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <new>

#include "app/Preload.h"
#include "app/RunModes.h"
#include "package/PackageCertificate.h"
#include "res/TextIds.h"
#include "state/State.h"
#include "ui/CommonControls.h"
#include "ui/Environment.h"
#include "ui/InstallWizard.h"
#include "ui/UiModule.h"
#include "ui/UnInstallWizard.h"

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

namespace {

// COM on this thread, undone only when it was done.
class CComScope {
public:
    CComScope() : m_hr(CoInitialize(nullptr)) {}
    ~CComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;
    bool Succeeded() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};

// Windows Sockets 2.2, cleaned up only when started.
class CSocketsScope {
public:
    CSocketsScope()
    {
        WSADATA data;
        m_bStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~CSocketsScope()
    {
        if (m_bStarted)
            WSACleanup();
    }
    CSocketsScope(const CSocketsScope&) = delete;
    CSocketsScope& operator=(const CSocketsScope&) = delete;
    bool Started() const { return m_bStarted; }

private:
    bool m_bStarted = false;
};

// The window layer's registrations, made late and undone at the end, also
// after a failed start. The scope is declared between COM's and the
// sockets' so that the shut-down runs WSACleanup, then the module's
// termination, then CoUninitialize.
class CUiScope {
public:
    explicit CUiScope(HINSTANCE instance) : m_hInstance(instance) {}
    ~CUiScope() { TermUiModule(m_hInstance); }
    CUiScope(const CUiScope&) = delete;
    CUiScope& operator=(const CUiScope&) = delete;
    bool Init() { return InitUiModule(m_hInstance); }

private:
    HINSTANCE m_hInstance;
};

int ShowStartupError(const wchar_t* text)
{
    MessageBoxW(nullptr, text, ProgramName, MB_ICONERROR);
    return EXIT_FAILED;
}

// The one wizard, run modally; its result is the exit code.
int RunWizard()
{
    TStrStatic<0x100> title;
    INT_PTR result = EXIT_FAILED;
    if (GetRunMode() == RunMode::Uninstall) {
        title.Format(L"%s Uninstall", ProgramName.GetString());
        CUnInstallWizard* wizard = new (std::nothrow) CUnInstallWizard(title);
        if (!wizard)
            return EXIT_FAILED;
        result = wizard->DoModal(GetActiveWindow());
        delete wizard;
    } else {
        title.Format(L"%s Setup", ProgramName.GetString());
        CInstallWizard* wizard = new (std::nothrow) CInstallWizard(title);
        if (!wizard)
            return EXIT_FAILED;
        result = wizard->DoModal(GetActiveWindow());
        delete wizard;
    }
    return static_cast<int>(result);
}

} // namespace

int RunSetup(HINSTANCE instance)
{
    // What the wizard needs of the system loads while the package is read.
    CPreload preload;
    preload.Start();
    Texts.SelectLanguage(GetSystemDefaultLCID());
    TStrStatic<0x104> programPath;
    GetModuleFileNameW(nullptr, programPath.GetBuffer(), programPath.GetCapacity());
    programPath.UpdateLength();
    // A program file without a usable package, or without the certificate
    // that checks it (the program as built, before kxpack made an installer
    // of it), ends silently: no caption and no language are settled yet.
    if (!GetPackageCertificateSize() || !LoadPackageAndNames(programPath))
        return EXIT_FAILED;

    // The services are shut down in reverse order, also after a failure.
    CComScope com;
    if (!com.Succeeded())
        return EXIT_FAILED;
    CUiScope ui(instance);
    CSocketsScope sockets;
    if (!sockets.Started())
        return ShowStartupError(L"WSA startup failed!");
    if (!EnablePrivileges()) {
        wchar_t text[256];
        Texts.LoadText(IDS_NO_PRIVILEGES, text, 256);
        return ShowStartupError(text);
    }
    // The bar classes, and the list view and progress bar of the progress pages.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    CommonControls::InitControls(&controls);
    if (!ui.Init())
        return EXIT_FAILED;
    preload.Wait();
    return RunWizard();
}
