#include "uninstall/UninstallWorker.h"

#include "app/Globals.h"
#include "base/ChildProcess.h"
#include "base/FileSystem.h"
#include "base/KeyText.h"
#include "install/InstallWorker.h"
#include "install/ProgramGroup.h"
#include "res/TextIds.h"
#include "uninstall/ListedFiles.h"
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

// The list, when it holds at least the group and a folder.
bool FindUninstallList(const uint8_t** data, uint32_t* size)
{
    if (!Package.m_pUninstall || !Package.m_pUninstall->FindRecord(RECORD_UNINSTALL_LIST, data, size)) {
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    const wchar_t* folder = ListSlot(*data, *size, 1);
    if (!folder || !*folder) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

// Whether `path` names something directly inside `folder`.
bool LiesDirectlyIn(const wchar_t* path, const wchar_t* folder)
{
    size_t length = wcslen(folder);
    return length > 0 && _wcsnicmp(path, folder, length) == 0 && path[length] == L'\\' &&
           path[length + 1] != 0 && !wcschr(path + length + 1, L'\\');
}

} // namespace

bool LoadUninstallInfo()
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    // What there is is read also from a list that cannot be used.
    if (Package.m_pUninstall && Package.m_pUninstall->FindRecord(RECORD_UNINSTALL_LIST, &data, &size)) {
        ReadSlot(ListSlot(data, size, 0), ProgramGroup);
        ReadSlot(ListSlot(data, size, 1), InstallFolder);
    }
    if (Package.m_pLicense)
        Package.m_pLicense->GetConfigValue(L"file_name_1=", MainProgramPath);
    return FindUninstallList(&data, &size);
}

uint32_t LoadUninstallFlags()
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!Package.m_pUninstall || !Package.m_pUninstall->FindRecord(RECORD_UNINSTALL_FLAGS, &data, &size))
        return 0;
    return ReadUninstallFlags(data, size);
}

bool DeleteListedFiles(const wchar_t* folder)
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!FindUninstallList(&data, &size))
        return false;
    TStrStatic<UNINSTALL_SLOT_CHARS> installFolder;
    ReadSlot(ListSlot(data, size, 1), installFolder);
    unsigned slots = size / UNINSTALL_SLOT_BYTES;
    for (unsigned i = 2; i < slots; ++i) {
        TStrStatic<UNINSTALL_SLOT_CHARS> path;
        ReadSlot(ListSlot(data, size, i), path);
        if (!path.IsEmpty() && (!folder || LiesDirectlyIn(path, folder)))
            DeleteListedFile(path, installFolder);
    }
    // Once every file is gone, so that a folder holding only folders goes too.
    for (unsigned i = 2; i < slots && !folder; ++i) {
        TStrStatic<UNINSTALL_SLOT_CHARS> path;
        ReadSlot(ListSlot(data, size, i), path);
        RemoveEmptiedFolders(path, installFolder);
    }
    return true;
}

FolderRemoval ChooseFolderRemoval(bool deletePersonalData, uint32_t flags)
{
    if (!deletePersonalData)
        return FolderRemoval::Keep;
    // A folder that was there before may hold what others put there.
    return (flags & UNINSTALL_CREATED_FOLDER) ? FolderRemoval::Whole : FolderRemoval::IfEmpty;
}

CUninstallWorker::CUninstallWorker(const uint8_t* deletePersonalData)
    : m_pDeletePersonalData(deletePersonalData)
{
}

LRESULT CUninstallWorker::StartWorker()
{
    StartThread(UninstallThreadProc);
    DisableCancel();
    SetWizardButtons();
    return 0;
}

DWORD WINAPI CUninstallWorker::UninstallThreadProc(LPVOID page)
{
    static_cast<CUninstallWorker*>(page)->RunThreadBody();
    return 0;
}

void CUninstallWorker::RunUninstall()
{
    bool listRead = LoadUninstallInfo();
    DWORD listError = GetLastError();
    m_flags = LoadUninstallFlags();
    PostStep(ROW_PREPARE, StepRunning, 0);
    PostStep(ROW_PREPARE, StepDone, Position(1));
    PostStep(ROW_GROUP, StepRunning, Position(1));
    // The group's shortcuts are listed; the folder goes only when this
    // installation made it and nothing else is left in it.
    TStrStatic<MAX_PATH> group;
    if (listRead && !ProgramGroup.IsEmpty() && GetProgramGroupFolder(ProgramGroup, group)) {
        DeleteListedFiles(group);
        if (m_flags & UNINSTALL_CREATED_GROUP)
            RemoveEmptyFolder(group);
    }
    PostStep(ROW_GROUP, StepDone, Position(2));
    PostStep(ROW_FILES, StepRunning, Position(2));
    if (!listRead) {
        // Nothing is known to be this installation's: everything stays, the
        // registry entry included, and so does the uninstaller.
        ShowSystemError(listError);
        return PostStep(ROW_FILES, StepFailed, 100);
    }
    if (m_pDeletePersonalData && *m_pDeletePersonalData)
        RunTerminalUninstall(InstallFolder);
    DeleteListedFiles();
    m_bRemoved = true;
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
    // After a failed run the uninstaller stays, as its registry entry does.
    if (m_bRemoved)
        RemoveSelf(ChooseFolderRemoval(m_pDeletePersonalData && *m_pDeletePersonalData, m_flags));
    return 0;
}

void CUninstallWorker::RemoveSelf(FolderRemoval removal)
{
    TStrStatic<MAX_PATH> program;
    GetModuleFileNameW(nullptr, program.GetBuffer(), program.GetCapacity());
    program.UpdateLength();
    StartSelfRemoval(program, GetCurrentProcessId(), InstallFolder, removal);
}
