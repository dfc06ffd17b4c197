// The uninstallation worker: three steps (prepare, remove the program
// group, remove the files) run on a thread of their own and reported to the
// uninstall progress page; at Finish the self-removal batch. An
// uninstallation cannot be cancelled; it fails only when its uninstall list
// cannot be read, and then removes nothing and leaves the registry entry.
#pragma once

#include <cstdint>

#include "install/StepWorker.h"
#include "uninstall/SelfRemoval.h"

class CUninstallWorker : public CStepWorker {
public:
    enum : WORD { ROW_PREPARE = 0, ROW_GROUP = 1, ROW_FILES = 2 };

    // `deletePersonalData` is the sheet's flag, set by the welcome page.
    explicit CUninstallWorker(const uint8_t* deletePersonalData);

    // On page activation and from the worker at its end: starts the worker
    // once, sets the buttons and always disables Cancel.
    LRESULT StartWorker();
    // The PSN_WIZFINISH answer: starts the self-removal once the files went.
    LRESULT OnWizardFinish();

    void RunUninstall();
    // Lets the installed program remove the user's data (at most 10 s).
    bool RunTerminalUninstall(const wchar_t* folder);
    void ShowFinalStatus();

protected:
    void RunSteps() override { RunUninstall(); }
    LRESULT RefreshWorker() override { return StartWorker(); }
    // Starts the self-removal batch for this program's file.
    virtual void RemoveSelf(FolderRemoval removal);

    const uint8_t* m_pDeletePersonalData;
    // Set by the worker once the listed files went; read after it ended.
    std::atomic<bool> m_bRemoved{false};
    // The uninstall flags, as read by the worker.
    std::atomic<uint32_t> m_flags{0};

private:
    static DWORD WINAPI UninstallThreadProc(LPVOID page);
};

// Fills ProgramGroup and InstallFolder from the uninstall list and
// MainProgramPath from "file_name_1=", as far as they are there. False when
// the list is missing (ERROR_FILE_CORRUPT) or names no installation folder
// (ERROR_INVALID_DATA): nothing may then be removed.
bool LoadUninstallInfo();
// The uninstall flags (UNINSTALL_CREATED_...); 0 when the uninstaller has none.
uint32_t LoadUninstallFlags();
// Deletes every file of the uninstall list (slots 2 onward) that lies
// directly in `folder`, or every file when `folder` is null; then the
// folders below the installation folder the deleted files leave empty.
// False, as LoadUninstallInfo, when the list cannot be read.
bool DeleteListedFiles(const wchar_t* folder = nullptr);
// What the self-removal does with the installation folder: the whole folder
// only when the user asked for it and the installation made the folder;
// an emptied folder when the user asked; else nothing.
FolderRemoval ChooseFolderRemoval(bool deletePersonalData, uint32_t flags);
