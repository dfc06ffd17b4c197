#include "install/InstallEngine.h"

#include "archive/Extract.h"
#include "base/FileSystem.h"
#include "base/LinkCheck.h"
#include "base/ProtectedFolder.h"
#include "install/ProgramGroup.h"
#include "state/State.h"

class CInstallEngine::CExtractReport : public CExtractObserver {
public:
    CExtractReport(CInstallEngine& engine, unsigned row) : m_engine(engine), m_row(row) {}
    bool IsCancelled() override { return m_engine.m_bCancel; }
    void Progress(uint64_t done, uint64_t total) override
    {
        m_total = total;
        m_engine.m_report.StepProgress(m_row, done, total);
    }
    // The bytes of the archive's files, as its last progress told.
    uint64_t GetTotal() const { return m_total; }

private:
    uint64_t m_total = 0;
    CInstallEngine& m_engine;
    unsigned m_row;
};

CInstallEngine::CInstallEngine(const InstallPackage& package, CRunReport& report)
    : m_package(package), m_report(report)
{
    TStrStatic<MAX_PATH> path;
    GetModuleFileNameW(nullptr, path.GetBuffer(), path.GetCapacity());
    path.UpdateLength();
    m_sourceProgram = path;
}

void CInstallEngine::SetSourceProgram(const wchar_t* path)
{
    m_sourceProgram.Assign(path);
}

void CInstallEngine::FailStep(unsigned row)
{
    DWORD code = GetLastError();
    if (!m_bCancel && code != 0)
        m_report.Error(code);
    Stop(row);
}

void CInstallEngine::Stop(unsigned row)
{
    m_report.StepFailed(row);
    m_report.Finished(false);
}

void CInstallEngine::RunInstall()
{
    m_createdFiles.RemoveAll();
    m_createdFolders.RemoveAll();
    m_createdParents.RemoveAll();
    m_uninstaller.Assign(L"");
    m_uninstallerAside.Assign(L"");
    m_registration = CRegistrationBackup();
    m_installedBytes = 0;
    m_report.StepStarted(ROW_FOLDER);
    if (!PrepareInstallFolder())
        return FailStep(ROW_FOLDER);
    m_report.StepDone(ROW_FOLDER);

    m_report.StepStarted(ROW_GROUP);
    if (!CreateProgramGroup())
        return FailStep(ROW_GROUP);
    if (CancelRequested())
        return Stop(ROW_GROUP);
    m_report.StepDone(ROW_GROUP);

    m_report.StepStarted(ROW_FILES);
    if (!ExtractArchives(ROW_FILES, false))
        return FailStep(ROW_FILES);
    if (CancelRequested())
        return Stop(ROW_FILES);
    m_report.StepDone(ROW_FILES);

    m_report.StepStarted(ROW_CONFIGURE);
    if (!ExtractArchives(ROW_CONFIGURE, true))
        return FailStep(ROW_CONFIGURE);
    if (CancelRequested())
        return Stop(ROW_CONFIGURE);
    if (m_settings.createDesktopShortcut)
        AddDesktopLink();
    if (!CreateUninstaller())
        return FailStep(ROW_CONFIGURE);
    if (CancelRequested())
        return Stop(ROW_CONFIGURE);
    if (!RunFirstStart(m_mainProgram))
        return FailStep(ROW_CONFIGURE);
    // The run stands: the uninstaller it replaced is of no more use.
    if (!m_uninstallerAside.IsEmpty() && !DeleteFileW(m_uninstallerAside))
        DeleteAtRestart(m_uninstallerAside);
    m_report.StepDone(ROW_CONFIGURE);
    m_report.Finished(true);
}

bool CInstallEngine::ExtractArchives(unsigned row, bool custom)
{
    CExtractReport report(*this, row);
    bool done = custom ? ExtractCustomArchive(m_package, m_settings.folder, m_createdFiles, &report, &m_createdFolders)
                       : ExtractSetupArchive(m_package, m_settings.folder, m_createdFiles, &report, &m_createdFolders);
    if (done)
        m_installedBytes += report.GetTotal();
    return done;
}

bool CInstallEngine::PrepareInstallFolder()
{
    const TStrStatic<MAX_PATH>& folder = m_settings.folder;
    TStrStatic<MAX_PATH> parent;
    if (!GetParentFolder(folder, parent)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    if (GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES) {
        // Files and folders made inside inherit the folder's access list;
        // folders made above get one of their own too, as one inheriting
        // the drive root's would let users rename it.
        if (!CreateProtectedFolderTree(parent, FolderAccess::UsersRead, m_createdParents) ||
            !CreateProtectedFolder(folder, FolderAccess::UsersRead))
            return false;
        m_bFolderCreated = true;
    }
    return IsFreeOfLinks(folder, parent);
}

void CInstallEngine::DeleteAtRestart(const wchar_t* path)
{
    if (!MayDeleteAtRestart(path, SetupFolder))
        return;
    // A name no one else uses: the original's, numbered.
    TStrStatic<MAX_PATH> doomed;
    if (MoveToFreeName(path, L"delete", doomed))
        MoveFileExW(doomed, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void CInstallEngine::RollBack()
{
    // The shortcuts are among the created files.
    TStrStatic<MAX_PATH> parent;
    GetParentFolder(m_settings.folder, parent);
    for (unsigned i = 0; i < m_createdFiles.GetCount(); ++i) {
        const wchar_t* path = m_createdFiles[i];
        // A link swapped in since the file was written would send the
        // deletion elsewhere: such a file stays.
        if (IsPathBelow(path, m_settings.folder) && !IsFreeOfLinks(path, parent))
            continue;
        // What is not there (recorded, then never written) needs nothing.
        if (!DeleteFileW(path) && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
            DeleteAtRestart(path);
    }
    RollBackUninstaller();
    // The folders the extraction made, deepest first, and the installation
    // folder when this run made it: each only when it is empty, and none
    // through a link.
    for (unsigned i = m_createdFolders.GetCount(); i-- > 0;) {
        const wchar_t* folder = m_createdFolders[i];
        if (IsFreeOfLinks(folder, parent))
            RemoveEmptyFolder(folder);
    }
    if (m_bFolderCreated && IsFreeOfLinks(m_settings.folder, parent))
        RemoveEmptyFolder(m_settings.folder);
    for (unsigned i = m_createdParents.GetCount(); i-- > 0;)
        RemoveEmptyFolder(m_createdParents[i]);
    // Only a group folder this run made, and only once its shortcuts are gone:
    // another product's shortcuts in it keep it.
    if (m_bGroupCreated)
        RemoveEmptyFolder(m_groupPath);
}
