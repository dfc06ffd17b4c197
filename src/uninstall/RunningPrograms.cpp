#include "uninstall/RunningPrograms.h"

#include <tlhelp32.h>

#include "base/Handle.h"
#include "base/Str.h"
#include "package/InstallPackage.h"
#include "package/UninstallList.h"

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

bool CRunningPrograms::LoadPsapi()
{
    if (!m_psapi.Load(L"psapi.dll"))
        return false;
    m_pGetProcessImageFileName = m_psapi.Get<GetProcessImageFileNameWFn>("GetProcessImageFileNameW");
    return m_pGetProcessImageFileName != nullptr;
}

bool CRunningPrograms::FindRunningInstance(const InstallPackage& package)
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!package.m_pUninstall || !package.m_pUninstall->FindRecord(RECORD_UNINSTALL_LIST, &data, &size) ||
        !m_pGetProcessImageFileName)
        return false;
    TStrStatic<MAX_PATH> self;
    GetModuleFileNameW(nullptr, self.GetBuffer(), self.GetCapacity());
    self.UpdateLength();
    CUninstallList list(data, size);
    for (size_t i = UNINSTALL_FIRST_FILE_SLOT; i < list.GetSlotCount(); ++i) {
        TStrStatic<UNINSTALL_SLOT_CHARS> path;
        list.ReadSlot(i, reinterpret_cast<char16_t*>(path.GetBuffer()));
        path.UpdateLength();
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

bool CRunningPrograms::IsImageRunning(const wchar_t* path)
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
