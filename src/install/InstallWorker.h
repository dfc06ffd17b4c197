// The installation worker and its run state: four steps (folder, program
// group, program files, configuring) run on a thread of their own and
// reported to the install progress page; the cancel prompt; and what Finish
// does (roll a failed run back, or launch the installed program).
//
// The page of the wizard derives from this class; tests run it against a
// window of their own with the same step list and status line.
#pragma once

#include "archive/Extract.h"
#include "base/Str.h"
#include "install/StepWorker.h"

class CInstallWorker : public CStepWorker {
public:
    enum : WORD { ROW_FOLDER = 0, ROW_GROUP = 1, ROW_FILES = 2, ROW_CONFIGURE = 3 };

    CInstallWorker();

    // On page activation, and from the worker at its end: starts the worker
    // once (with an empty created-files list) and sets the wizard buttons.
    LRESULT StartWorker();
    // The PSN_QUERYCANCEL answer: non-zero keeps the wizard open.
    LRESULT OnQueryCancel();
    // The PSN_WIZFINISH answer (0: the wizard closes).
    LRESULT OnWizardFinish();

    // The worker body; runs on the worker thread.
    void RunInstall();

    // The steps, each usable on its own.
    bool CreateProgramGroup();
    bool AddDesktopLink();
    bool CreateUninstaller();
    bool RegisterUninstaller(const wchar_t* uninstallerPath);
    bool RunFirstStart(const wchar_t* programPath);
    void LaunchProgram();
    void ShowFinalStatus();

    // The program file whose image and licence container the uninstaller is
    // made of: this program's own file unless set otherwise.
    void SetSourceProgram(const wchar_t* path);

    const CPathList& GetCreatedFiles() const { return CreatedFiles; }
    // Whether this run made the program group's folder (not merely found it).
    bool IsGroupCreated() const { return m_bGroupCreated; }
    // Whether this run created the installation folder (with an access list
    // of its own, see CreateProtectedFolder).
    bool IsFolderCreated() const { return m_bFolderCreated; }

protected:
    void RunSteps() override { RunInstall(); }
    LRESULT RefreshWorker() override { return StartWorker(); }
    // Whether a stop was requested; looked at only at the cancellation points.
    virtual bool CancelRequested() { return m_bCancel; }

    std::atomic<bool> m_bGroupCreated{false};
    std::atomic<bool> m_bFolderCreated{false};
    // Every file this run wrote, in the order written, its shortcuts included.
    CPathList CreatedFiles;

private:
    static DWORD WINAPI InstallThreadProc(LPVOID page);
    // A step failed: the system's text for the last error, unless a stop
    // was requested.
    void ReportError() const;
    void FailStep(WORD row);
    // The folder step: a missing installation folder is created so that
    // only administrators may change it; an existing one is taken as it is.
    // Either way it must be no link, nor lie below one inside its parent.
    bool PrepareInstallFolder();
    void RollBack();

    TStrStatic<MAX_PATH> m_sourceProgram;
};

// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<product name>".
void FormatUninstallKey(CStr& key);
