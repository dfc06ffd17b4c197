#include "app/Preload.h"

#include <objbase.h>
#include <shlobj.h>

#include "base/ComPtr.h"
#include "ui/CommonControls.h"

namespace {

// The dialogs' font, measured once: the first text drawn in a process sets
// up the font system.
void LoadFonts()
{
    HDC dc = GetDC(nullptr);
    if (!dc)
        return;
    HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg");
    if (font) {
        HGDIOBJ old = SelectObject(dc, font);
        SIZE size;
        GetTextExtentPoint32W(dc, L"Setup", 5, &size);
        SelectObject(dc, old);
        DeleteObject(font);
    }
    ReleaseDC(nullptr, dc);
}

// The shell's special folders and its link object, which the settings page
// and the program group's step use.
void LoadShell()
{
    wchar_t folder[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE);
    TComPtr<IShellLinkW> link;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive());
}

} // namespace

void CPreload::Start()
{
    if (!m_hThread)
        m_hThread.Attach(CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr));
}

void CPreload::Wait()
{
    if (m_hThread) {
        WaitForSingleObject(m_hThread.Get(), INFINITE);
        m_hThread.Close();
    }
}

DWORD WINAPI CPreload::ThreadProc(LPVOID parameter)
{
    // First: the package's signature checks start at once on the main thread.
    static_cast<CPreload*>(parameter)->m_crypto.AcquireVerifyContext();
    LoadFonts();
    // The same classes start-up registers: the library is loaded and its
    // classes are the process's.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    CommonControls::InitControls(&controls);
    HRESULT com = CoInitialize(nullptr);
    LoadShell();
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}
