#include "install/InstallWorker.h"

#include <prsht.h>

#include "app/Globals.h"
#include "base/FileSystem.h"
#include "base/LinkCheck.h"
#include "base/ProtectedFolder.h"
#include "install/ProgramGroup.h"
#include "res/TextIds.h"

CInstallWorker::CInstallWorker()
{
    TStrStatic<MAX_PATH> path;
    GetModuleFileNameW(nullptr, path.GetBuffer(), path.GetCapacity());
    path.UpdateLength();
    m_sourceProgram = path;
}

void CInstallWorker::SetSourceProgram(const wchar_t* path)
{
    m_sourceProgram.Assign(path);
}

LRESULT CInstallWorker::StartWorker()
{
    if (!HasWorker()) {
        CreatedFiles.RemoveAll();
        StartThread(InstallThreadProc);
    }
    // Cancel goes before Finish is offered: the buttons are posted, the
    // disabling is not, so the other order left a moment with both enabled.
    if (m_bFinished)
        DisableCancel();
    SetWizardButtons();
    return 0;
}

DWORD WINAPI CInstallWorker::InstallThreadProc(LPVOID page)
{
    static_cast<CInstallWorker*>(page)->RunThreadBody();
    return 0;
}

void CInstallWorker::ReportError() const
{
    DWORD code = GetLastError();
    if (!m_bCancel && code != 0)
        ShowSystemError(code);
}

void CInstallWorker::FailStep(WORD row)
{
    ReportError();
    PostStep(row, StepFailed, 100);
}

void CInstallWorker::RunInstall()
{
    PostStep(ROW_FOLDER, StepRunning, 0);
    if (!PrepareInstallFolder())
        return FailStep(ROW_FOLDER);
    PostStep(ROW_FOLDER, StepDone, Position(1));
    PostStep(ROW_GROUP, StepRunning, Position(1));

    if (!CreateProgramGroup())
        return FailStep(ROW_GROUP);
    if (CancelRequested())
        return PostStep(ROW_GROUP, StepFailed, 100);
    PostStep(ROW_GROUP, StepDone, Position(2));
    PostStep(ROW_FILES, StepRunning, Position(2));

    if (!ExtractSetupArchive(Package, InstallFolder, CreatedFiles))
        return FailStep(ROW_FILES);
    if (CancelRequested())
        return PostStep(ROW_FILES, StepFailed, 100);
    PostStep(ROW_FILES, StepDone, Position(3));
    PostStep(ROW_CONFIGURE, StepRunning, Position(3));

    if (!ExtractCustomArchive(Package, InstallFolder, CreatedFiles))
        return FailStep(ROW_CONFIGURE);
    if (CancelRequested())
        return PostStep(ROW_CONFIGURE, StepFailed, 100);
    if (CreateDesktopShortcut)
        AddDesktopLink();
    if (!CreateUninstaller())
        return FailStep(ROW_CONFIGURE);
    if (CancelRequested())
        return PostStep(ROW_CONFIGURE, StepFailed, 100);
    if (!RunFirstStart(MainProgramPath))
        return FailStep(ROW_CONFIGURE);
    PostStep(ROW_CONFIGURE, StepDone, Position(4));
    ShowFinalStatus();
}

bool CInstallWorker::PrepareInstallFolder()
{
    TStrStatic<MAX_PATH> parent;
    if (!GetParentFolder(InstallFolder, parent)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    if (GetFileAttributesW(InstallFolder) == INVALID_FILE_ATTRIBUTES) {
        // Files and folders made inside inherit the folder's access list.
        if (!EnsureFolder(parent) || !CreateProtectedFolder(InstallFolder, FolderAccess::UsersRead))
            return false;
        m_bFolderCreated = true;
    }
    return IsFreeOfLinks(InstallFolder, parent);
}

void CInstallWorker::ShowFinalStatus()
{
    ShowStatusText(IDS_INSTALL_DONE);
}

LRESULT CInstallWorker::OnQueryCancel()
{
    if (m_bCancel)
        return -1; // the user must leave through Finish
    if (m_bFinished)
        return 0;
    wchar_t text[256];
    Texts.LoadText(IDS_CONFIRM_CANCEL, text, 256);
    if (MessageBoxW(GetActiveWindow(), text, ProgramName, MB_YESNO | MB_ICONQUESTION) != IDNO) {
        m_bFailed = true;
        StopWorker();
    }
    return -1;
}

LRESULT CInstallWorker::OnWizardFinish()
{
    if (m_bFailed || !m_bFinished)
        RollBack();
    else if (LaunchAfterInstall)
        LaunchProgram();
    return 0;
}

void CInstallWorker::RollBack()
{
    // The installation folder, Uninstall.exe and the registry entry stay.
    // The shortcuts are among the created files.
    TStrStatic<MAX_PATH> parent;
    GetParentFolder(InstallFolder, parent);
    for (unsigned i = 0; i < CreatedFiles.GetCount(); ++i) {
        const wchar_t* path = CreatedFiles[i];
        // A link swapped in since the file was written would send the
        // deletion elsewhere: such a file stays.
        if (IsPathBelow(path, InstallFolder) && !IsFreeOfLinks(path, parent))
            continue;
        // What cannot go now goes at the next restart; what is not there
        // (recorded, then never written) needs nothing.
        if (!DeleteFileW(path) && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
            MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    // Only a group folder this run made, and only once its shortcuts are gone:
    // another product's shortcuts in it keep it.
    if (m_bGroupCreated)
        RemoveEmptyFolder(ProgramGroupPath);
}
