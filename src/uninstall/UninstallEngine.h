// The uninstallation engine: three steps (prepare, remove the program
// group, remove the files) reported through a CRunReport, and at Finish
// the self-removal batch. An uninstallation cannot be cancelled; it fails
// only when its uninstall list cannot be read, and then removes nothing and
// leaves the registry entry.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/Str.h"
#include "install/RunReport.h"
#include "uninstall/SelfRemoval.h"

class InstallPackage;

// What the uninstaller knows of the installation it removes.
struct TUninstallInfo {
    TStrStatic<MAX_PATH> group;       // slot 0 of the uninstall list
    TStrStatic<MAX_PATH> folder;      // slot 1
    TStrStatic<MAX_PATH> mainProgram; // "file_name_1=", relative to the folder
    uint32_t flags = 0;               // UNINSTALL_CREATED_...
};

// Fills `info` from the package as far as it goes. False when the list is
// missing (ERROR_FILE_CORRUPT) or names no installation folder
// (ERROR_INVALID_DATA): nothing may then be removed.
bool LoadUninstallInfo(const InstallPackage& package, TUninstallInfo& info);
// Deletes every file of the uninstall list (slots 2 onward) that lies
// directly in `folder`, or every file when `folder` is null; then the
// folders below the installation folder the deleted files leave empty.
// False, as LoadUninstallInfo, when the list cannot be read.
bool DeleteListedFiles(const InstallPackage& package, const wchar_t* folder = nullptr);
// What the self-removal does with the installation folder: the whole folder
// only when the user asked for it and the installation made the folder;
// an emptied folder when the user asked; else nothing.
FolderRemoval ChooseFolderRemoval(bool deletePersonalData, uint32_t flags);

class CUninstallEngine {
public:
    enum : unsigned { ROW_PREPARE = 0, ROW_GROUP = 1, ROW_FILES = 2, ROW_COUNT = 3 };

    CUninstallEngine(const InstallPackage& package, CRunReport& report);
    virtual ~CUninstallEngine() = default;
    CUninstallEngine(const CUninstallEngine&) = delete;
    CUninstallEngine& operator=(const CUninstallEngine&) = delete;

    // The welcome page's choice, before the run.
    void SetDeletePersonalData(bool deletePersonalData) { m_bDeletePersonalData = deletePersonalData; }

    // The whole run; ends with the report's Finished.
    void RunUninstall();
    // Lets the installed program remove the user's data (at most 10 s).
    bool RunTerminalUninstall(const wchar_t* folder);
    // At Finish: starts the self-removal once the files went.
    void FinishUninstall();

    const TUninstallInfo& GetInfo() const { return m_info; }
    bool IsRemoved() const { return m_bRemoved; }

protected:
    // Starts the self-removal batch for this program's file.
    virtual void RemoveSelf(FolderRemoval removal);

private:
    const InstallPackage& m_package;
    CRunReport& m_report;
    bool m_bDeletePersonalData = false;
    TUninstallInfo m_info;
    // Set by the run once the listed files went; read after it ended.
    std::atomic<bool> m_bRemoved{false};
};
