// The installation engine: four steps (folder, program group, program
// files, configuring) reported through a CRunReport, the rollback of a run
// that failed or was cancelled, and the launch of the installed program.
// It holds no window and runs on whatever thread calls RunInstall; the
// install progress page runs it on a thread of its own, the tests on theirs.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/PathList.h"
#include "base/Str.h"
#include "install/InstallSettings.h"
#include "install/Registration.h"
#include "install/RunReport.h"

class InstallPackage;

class CInstallEngine {
public:
    enum : unsigned { ROW_FOLDER = 0, ROW_GROUP = 1, ROW_FILES = 2, ROW_CONFIGURE = 3, ROW_COUNT = 4 };

    CInstallEngine(const InstallPackage& package, CRunReport& report);
    virtual ~CInstallEngine() = default;
    CInstallEngine(const CInstallEngine&) = delete;
    CInstallEngine& operator=(const CInstallEngine&) = delete;

    // Before a run: the user's choices, and the program file whose image and
    // licence container the uninstaller is made of (this program's own file
    // unless set otherwise).
    void SetSettings(const TInstallSettings& settings) { m_settings = settings; }
    void SetSourceProgram(const wchar_t* path);

    // The whole run; ends with the report's Finished.
    void RunInstall();
    // Asks a run to stop at its next cancellation point; any thread.
    void RequestCancel() { m_bCancel = true; }

    // After a run that failed or was cancelled: removes what it made.
    void RollBack();
    // After a successful run: starts the installed program.
    void LaunchProgram();

    // The steps, each usable on its own.
    bool CreateProgramGroup();
    bool AddDesktopLink();
    bool CreateUninstaller();
    bool RunFirstStart(const wchar_t* programPath);

    const TInstallSettings& GetSettings() const { return m_settings; }
    // Every file the run created, in the order written, its shortcuts included.
    const CPathList& GetCreatedFiles() const { return m_createdFiles; }
    const CPathList& GetCreatedFolders() const { return m_createdFolders; }
    // Whether this run made the program group's folder (not merely found it).
    bool IsGroupCreated() const { return m_bGroupCreated; }
    // Whether this run created the installation folder (with an access list
    // of its own, see CreateProtectedFolder).
    bool IsFolderCreated() const { return m_bFolderCreated; }
    // The first shortcut's target, once the group was made.
    const CStr& GetMainProgramPath() const { return m_mainProgram; }
    const CStr& GetProgramGroupPath() const { return m_groupPath; }

protected:
    // Whether a stop was requested; looked at only at the cancellation points.
    virtual bool CancelRequested() { return m_bCancel; }

    std::atomic<bool> m_bCancel{false};

private:
    // Passes the extraction's progress on as the step's, and the stop
    // request to the extraction, which looks between the pieces of a file.
    class CExtractReport;

    bool ExtractArchives(unsigned row, bool custom);
    // A step failed: the system's text for the last error, unless a stop
    // was requested; then the row's failure.
    void FailStep(unsigned row);
    void Stop(unsigned row);
    // The folder step: a missing installation folder is created so that
    // only administrators may change it; an existing one is taken as it is.
    // Either way it must be no link, nor lie below one inside its parent.
    bool PrepareInstallFolder();
    // Moves an Uninstall.exe found in the folder to a name of this run's,
    // for the rollback to put back.
    bool SetAsideUninstaller(const wchar_t* path);
    // The rollback's part for Uninstall.exe and the uninstall entry.
    void RollBackUninstaller();
    // What cannot be deleted now goes at the next restart, but only under a
    // name this run gave it: by then the path may hold a file installed
    // anew, or lead through a link.
    void DeleteAtRestart(const wchar_t* path);

    const InstallPackage& m_package;
    CRunReport& m_report;
    TInstallSettings m_settings;
    TStrStatic<MAX_PATH> m_sourceProgram;
    TStrStatic<MAX_PATH> m_groupPath;
    TStrStatic<MAX_PATH> m_mainProgram;
    CPathList m_createdFiles;
    // Folders the extraction made, parents first: the rollback removes them
    // again when they are empty.
    CPathList m_createdFolders;
    // Folders above the installation folder this run made, parents first.
    CPathList m_createdParents;
    std::atomic<bool> m_bGroupCreated{false};
    std::atomic<bool> m_bFolderCreated{false};
    // Uninstall.exe as this run wrote it (empty before), and the one found
    // there, moved aside (empty when there was none).
    TStrStatic<MAX_PATH> m_uninstaller;
    TStrStatic<MAX_PATH> m_uninstallerAside;
    CRegistrationBackup m_registration;
    // The bytes of the files the archives installed, for the entry's size.
    uint64_t m_installedBytes = 0;
};
