#include "uninstall/UninstallWorker.h"

#include "app/Globals.h"
#include "base/ChildProcess.h"
#include "base/FileSystem.h"
#include "base/KeyText.h"
#include "install/InstallWorker.h"
#include "res/TextIds.h"
#include "uninstall/SelfRemoval.h"

namespace {

const DWORD TERMINAL_UNINSTALL_TIMEOUT_MS = 10000;

// Slot `index` of the uninstall list; null when the list is shorter.
const wchar_t* ListSlot(const uint8_t* data, uint32_t size, unsigned index)
{
    if (size / UNINSTALL_SLOT_BYTES <= index)
        return nullptr;
    return reinterpret_cast<const wchar_t*>(data + static_cast<size_t>(index) * UNINSTALL_SLOT_BYTES);
}

// A slot's text, terminated even when the stored slot is not.
void ReadSlot(const wchar_t* slot, CStr& out)
{
    wchar_t text[UNINSTALL_SLOT_CHARS];
    CopyText(text, UNINSTALL_SLOT_CHARS, slot ? slot : L"");
    out.Assign(text);
}

bool FindUninstallList(const uint8_t** data, uint32_t* size)
{
    return Package.m_pUninstall && Package.m_pUninstall->FindRecord(RECORD_UNINSTALL_LIST, data, size);
}

} // namespace

bool LoadUninstallInfo()
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!Package.m_pLicense || !FindUninstallList(&data, &size))
        return false;
    ReadSlot(ListSlot(data, size, 0), ProgramGroup);
    ReadSlot(ListSlot(data, size, 1), InstallFolder);
    return Package.m_pLicense->GetConfigValue(L"file_name_1=", MainProgramPath);
}

bool DeleteListedFiles()
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!FindUninstallList(&data, &size))
        return false;
    unsigned slots = size / UNINSTALL_SLOT_BYTES;
    for (unsigned i = 2; i < slots; ++i) {
        TStrStatic<UNINSTALL_SLOT_CHARS> path;
        ReadSlot(ListSlot(data, size, i), path);
        if (!path.IsEmpty())
            DeleteFileW(path);
    }
    return size > UNINSTALL_SLOT_BYTES;
}

CUninstallWorker::CUninstallWorker(const uint8_t* deletePersonalData)
    : m_pDeletePersonalData(deletePersonalData)
{
}

LRESULT CUninstallWorker::StartWorker()
{
    StartThread(UninstallThreadProc);
    SetWizardButtons();
    DisableCancel();
    return 0;
}

DWORD WINAPI CUninstallWorker::UninstallThreadProc(LPVOID page)
{
    static_cast<CUninstallWorker*>(page)->RunThreadBody();
    return 0;
}

void CUninstallWorker::RunUninstall()
{
    LoadUninstallInfo();
    PostStep(ROW_PREPARE, StepRunning, 0);
    PostStep(ROW_PREPARE, StepDone, Position(1));
    PostStep(ROW_GROUP, StepRunning, Position(1));
    if (!ProgramGroup.IsEmpty())
        RemoveProgramGroupFolder(ProgramGroup);
    PostStep(ROW_GROUP, StepDone, Position(2));
    PostStep(ROW_FILES, StepRunning, Position(2));
    if (m_pDeletePersonalData && *m_pDeletePersonalData)
        RunTerminalUninstall(InstallFolder);
    DeleteListedFiles();
    TStrStatic<MAX_PATH> key;
    FormatUninstallKey(key);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
    PostStep(ROW_FILES, StepDone, Position(3));
    ShowFinalStatus();
}

bool CUninstallWorker::RunTerminalUninstall(const wchar_t* folder)
{
    if (!folder || !*folder || MainProgramPath.IsEmpty())
        return false;
    // Room for a folder and a relative path of full length: never cut.
    TStrStatic<2 * MAX_PATH + 16> commandLine;
    if (commandLine.Format(L"\"%s\\%s\" /uninstall", folder, MainProgramPath.GetString()) <= 0)
        return false;
    return RunAndWait(commandLine, folder, TERMINAL_UNINSTALL_TIMEOUT_MS);
}

void CUninstallWorker::ShowFinalStatus()
{
    ShowStatusText(IDS_UNINSTALL_DONE);
}

LRESULT CUninstallWorker::OnWizardFinish()
{
    TStrStatic<MAX_PATH> program;
    GetModuleFileNameW(nullptr, program.GetBuffer(), program.GetCapacity());
    program.UpdateLength();
    bool deleteFolder = m_pDeletePersonalData && *m_pDeletePersonalData;
    StartSelfRemoval(program, GetCurrentProcessId(), InstallFolder, deleteFolder);
    return 0;
}
