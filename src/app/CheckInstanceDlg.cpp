#include "app/CheckInstanceDlg.h"

#include <tlhelp32.h>

#include <cwchar>

#include "app/Globals.h"
#include "base/Handle.h"
#include "base/KeyText.h"
#include "res/ResourceIds.h"
#include "ui/WindowHelpers.h"

namespace {

// PROCESS_ALL_ACCESS as the Windows XP headers define it.
const DWORD PROCESS_PROBE_ACCESS = 0x1F0FFF;

// ".exe" found first (ignoring case) after the first character, ending the path.
bool EndsInExe(const CStr& path)
{
    int at = path.FindNoCase(L".exe", 0);
    return at > 0 && static_cast<unsigned>(at) + 4 == path.GetLength();
}

// Owner of a Toolhelp snapshot.
class CSnapshot {
public:
    CSnapshot() : m_h(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)) {}
    ~CSnapshot()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    CSnapshot(const CSnapshot&) = delete;
    CSnapshot& operator=(const CSnapshot&) = delete;
    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

} // namespace

INT_PTR CCheckInstanceDlg::DoModal(HWND owner)
{
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CHECK_INSTANCE), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CCheckInstanceDlg::DialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        CenterWindow(dialog);
        Texts.LocalizeDialog(dialog, IDD_CHECK_INSTANCE);
        reinterpret_cast<CCheckInstanceDlg*>(lParam)->LoadPsapi();
        // The check runs once the dialog is on the screen.
        PostMessageW(dialog, WM_START_CHECK, 0, 0);
        return FALSE;
    }
    if (message == WM_START_CHECK) {
        auto* self = reinterpret_cast<CCheckInstanceDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
        EndDialog(dialog, self && self->FindRunningInstance() ? RESULT_RUNNING : RESULT_NONE_RUNNING);
        return TRUE;
    }
    return FALSE;
}

bool CCheckInstanceDlg::LoadPsapi()
{
    if (!m_psapi.Load(L"psapi.dll"))
        return false;
    m_pGetProcessImageFileName = m_psapi.Get<GetProcessImageFileNameWFn>("GetProcessImageFileNameW");
    return m_pGetProcessImageFileName != nullptr;
}

bool CCheckInstanceDlg::FindRunningInstance()
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!Package.m_pUninstall || !Package.m_pUninstall->FindRecord(RECORD_UNINSTALL_LIST, &data, &size) ||
        !m_pGetProcessImageFileName)
        return false;
    TStrStatic<MAX_PATH> self;
    GetModuleFileNameW(nullptr, self.GetBuffer(), self.GetCapacity());
    self.UpdateLength();
    unsigned slots = size / UNINSTALL_SLOT_BYTES;
    for (unsigned i = 2; i < slots; ++i) {
        wchar_t slot[UNINSTALL_SLOT_CHARS];
        CopyText(slot, UNINSTALL_SLOT_CHARS, reinterpret_cast<const wchar_t*>(data + i * UNINSTALL_SLOT_BYTES));
        TStrStatic<UNINSTALL_SLOT_CHARS> path(slot);
        if (!EndsInExe(path) || path.CompareNoCase(self) == 0)
            continue;
        // Without its drive: the image names are in device form.
        int colon = path.Find(L':');
        if (colon > 0)
            path.Delete(0, static_cast<unsigned>(colon + 1));
        if (IsImageRunning(path))
            return true;
    }
    return false;
}

bool CCheckInstanceDlg::IsImageRunning(const wchar_t* path)
{
    if (!path || !m_pGetProcessImageFileName)
        return false;
    CSnapshot snapshot;
    if (!snapshot.IsValid())
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    if (!Process32FirstW(snapshot.Get(), &entry))
        return false;
    do {
        CHandle process(OpenProcess(PROCESS_PROBE_ACCESS, FALSE, entry.th32ProcessID));
        if (!process)
            continue;
        TStrStatic<MAX_PATH> image;
        DWORD length = m_pGetProcessImageFileName(process.Get(), image.GetBuffer(), image.GetCapacity());
        image.UpdateLength();
        if (length && image.FindNoCase(path, 0) >= 0)
            return true;
    } while (Process32NextW(snapshot.Get(), &entry));
    return false;
}
