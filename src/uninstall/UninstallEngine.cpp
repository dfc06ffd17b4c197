#include "uninstall/UninstallEngine.h"

#include <cwchar>

#include "base/ChildProcess.h"
#include "base/FileSystem.h"
#include "install/ProgramGroup.h"
#include "install/Registration.h"
#include "package/InstallPackage.h"
#include "package/UninstallList.h"
#include "uninstall/ListedFiles.h"

namespace {

const DWORD TERMINAL_UNINSTALL_TIMEOUT_MS = 10000;

// The list, when it holds at least the group and a folder.
bool FindUninstallList(const InstallPackage& package, const uint8_t** data, uint32_t* size)
{
    if (!package.m_pUninstall || !package.m_pUninstall->FindRecord(RECORD_UNINSTALL_LIST, data, size)) {
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    char16_t folder[UNINSTALL_SLOT_CHARS];
    if (!CUninstallList(*data, *size).ReadSlot(UNINSTALL_FOLDER_SLOT, folder)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

void ReadSlot(const CUninstallList& list, size_t index, CStr& out)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "paths are UTF-16");
    wchar_t text[UNINSTALL_SLOT_CHARS];
    list.ReadSlot(index, reinterpret_cast<char16_t*>(text));
    out.Assign(text);
}

// Whether `path` names something directly inside `folder`.
bool LiesDirectlyIn(const wchar_t* path, const wchar_t* folder)
{
    size_t length = wcslen(folder);
    return length > 0 && _wcsnicmp(path, folder, length) == 0 && path[length] == L'\\' &&
           path[length + 1] != 0 && !wcschr(path + length + 1, L'\\');
}

} // namespace

bool LoadUninstallInfo(const InstallPackage& package, TUninstallInfo& info)
{
    info = TUninstallInfo();
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    // What there is is read also from a list that cannot be used.
    if (package.m_pUninstall && package.m_pUninstall->FindRecord(RECORD_UNINSTALL_LIST, &data, &size)) {
        CUninstallList list(data, size);
        ReadSlot(list, UNINSTALL_GROUP_SLOT, info.group);
        ReadSlot(list, UNINSTALL_FOLDER_SLOT, info.folder);
    }
    if (package.m_pLicense)
        package.m_pLicense->GetConfigValue(L"file_name_1=", info.mainProgram);
    const uint8_t* flags = nullptr;
    uint32_t flagBytes = 0;
    if (package.m_pUninstall && package.m_pUninstall->FindRecord(RECORD_UNINSTALL_FLAGS, &flags, &flagBytes))
        info.flags = ReadUninstallFlags(flags, flagBytes);
    return FindUninstallList(package, &data, &size);
}

bool DeleteListedFiles(const InstallPackage& package, const wchar_t* folder)
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!FindUninstallList(package, &data, &size))
        return false;
    CUninstallList list(data, size);
    TStrStatic<UNINSTALL_SLOT_CHARS> installFolder;
    ReadSlot(list, UNINSTALL_FOLDER_SLOT, installFolder);
    // The folders the files leave go once every file is gone, so that a
    // folder holding only folders goes too: each is tried once, deepest first.
    CEmptiedFolders emptied(installFolder);
    for (size_t i = UNINSTALL_FIRST_FILE_SLOT; i < list.GetSlotCount(); ++i) {
        TStrStatic<UNINSTALL_SLOT_CHARS> path;
        ReadSlot(list, i, path);
        // A folder the installation made ends in a backslash: it goes when
        // it is left empty, as the folders of deleted files do.
        bool isFolder = !path.IsEmpty() && path.GetAt(path.GetLength() - 1) == L'\\';
        if (!folder) {
            if (!isFolder)
                DeleteListedFile(path, installFolder);
            emptied.Note(path);
        } else if (LiesDirectlyIn(path, folder)) {
            DeleteListedFile(path, installFolder);
        }
    }
    if (!folder)
        emptied.Remove();
    return true;
}

FolderRemoval ChooseFolderRemoval(bool deletePersonalData, uint32_t flags)
{
    if (!deletePersonalData)
        return FolderRemoval::Keep;
    // A folder that was there before may hold what others put there.
    return (flags & UNINSTALL_CREATED_FOLDER) ? FolderRemoval::Whole : FolderRemoval::IfEmpty;
}

CUninstallEngine::CUninstallEngine(const InstallPackage& package, CRunReport& report)
    : m_package(package), m_report(report)
{
}

void CUninstallEngine::RunUninstall()
{
    bool listRead = LoadUninstallInfo(m_package, m_info);
    DWORD listError = GetLastError();
    m_report.StepStarted(ROW_PREPARE);
    m_report.StepDone(ROW_PREPARE);
    m_report.StepStarted(ROW_GROUP);
    // The group's shortcuts are listed; the folder goes only when this
    // installation made it and nothing else is left in it.
    TStrStatic<MAX_PATH> group;
    if (listRead && !m_info.group.IsEmpty() && GetProgramGroupFolder(m_info.group, group)) {
        DeleteListedFiles(m_package, group);
        if (m_info.flags & UNINSTALL_CREATED_GROUP)
            RemoveEmptyFolder(group);
    }
    m_report.StepDone(ROW_GROUP);
    m_report.StepStarted(ROW_FILES);
    if (!listRead) {
        // Nothing is known to be this installation's: everything stays, the
        // registry entry included, and so does the uninstaller.
        m_report.Error(listError);
        m_report.StepFailed(ROW_FILES);
        m_report.Finished(false);
        return;
    }
    if (m_bDeletePersonalData)
        RunTerminalUninstall(m_info.folder);
    DeleteListedFiles(m_package);
    m_bRemoved = true;
    TStrStatic<MAX_PATH> key;
    FormatUninstallKey(key);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
    m_report.StepDone(ROW_FILES);
    m_report.Finished(true);
}

bool CUninstallEngine::RunTerminalUninstall(const wchar_t* folder)
{
    if (!folder || !*folder || m_info.mainProgram.IsEmpty())
        return false;
    // Room for a folder and a relative path of full length: never cut.
    TStrStatic<2 * MAX_PATH + 16> commandLine;
    if (commandLine.Format(L"\"%s\\%s\" /uninstall", folder, m_info.mainProgram.GetString()) <= 0)
        return false;
    return RunAndWait(commandLine, folder, TERMINAL_UNINSTALL_TIMEOUT_MS);
}

void CUninstallEngine::FinishUninstall()
{
    // After a failed run the uninstaller stays, as its registry entry does.
    if (m_bRemoved)
        RemoveSelf(ChooseFolderRemoval(m_bDeletePersonalData, m_info.flags));
}

void CUninstallEngine::RemoveSelf(FolderRemoval removal)
{
    TStrStatic<MAX_PATH> program;
    GetModuleFileNameW(nullptr, program.GetBuffer(), program.GetCapacity());
    program.UpdateLength();
    StartSelfRemoval(program, GetCurrentProcessId(), m_info.folder, removal);
}
