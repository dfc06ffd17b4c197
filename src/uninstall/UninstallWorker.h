// The uninstallation worker: three steps (prepare, remove the program
// group, remove the files) run on a thread of their own and reported to the
// uninstall progress page; at Finish the self-removal batch. An
// uninstallation has no failure path and cannot be cancelled.
#pragma once

#include "install/StepWorker.h"

class CUninstallWorker : public CStepWorker {
public:
    enum : WORD { ROW_PREPARE = 0, ROW_GROUP = 1, ROW_FILES = 2 };

    // `deletePersonalData` is the sheet's flag, set by the welcome page.
    explicit CUninstallWorker(const uint8_t* deletePersonalData);

    // On page activation and from the worker at its end: starts the worker
    // once, sets the buttons and always disables Cancel.
    LRESULT StartWorker();
    // The PSN_WIZFINISH answer: starts the self-removal.
    LRESULT OnWizardFinish();

    void RunUninstall();
    // Lets the installed program remove the user's data (at most 10 s).
    bool RunTerminalUninstall(const wchar_t* folder);
    void ShowFinalStatus();

protected:
    void RunSteps() override { RunUninstall(); }
    LRESULT RefreshWorker() override { return StartWorker(); }

    const uint8_t* m_pDeletePersonalData;

private:
    static DWORD WINAPI UninstallThreadProc(LPVOID page);
};

// Fills ProgramGroup and InstallFolder from the uninstall list and
// MainProgramPath from "file_name_1="; the result is that lookup's.
bool LoadUninstallInfo();
// Deletes every file of the uninstall list (slots 2 onward); true when the
// list holds more than one slot.
bool DeleteListedFiles();
