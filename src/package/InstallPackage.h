// The install package behind the program's image: up to one container of
// each kind. An installer carries licence and core (and maybe custom)
// containers, an uninstaller licence and uninstall containers.
//
// Every record is read into memory but the program archives of the core and
// custom containers: those stay in the file, which the package names, and
// are read from there, in pieces, when they are extracted. Loading takes
// the same time whatever the product's size.
#pragma once

#include "base/Str.h"
#include "package/Container.h"

class InstallPackage {
public:
    InstallPackage() = default;
    ~InstallPackage() { Free(); }

    InstallPackage(const InstallPackage&) = delete;
    InstallPackage& operator=(const InstallPackage&) = delete;

    // Reads every container of the program file at `path`. True when a
    // licence container and a core or an uninstall container were found.
    bool Load(const wchar_t* path);
    void Free();

    // The program file the package was loaded from.
    const CStr& GetPath() const { return m_path; }

    // The process runs the uninstaller when its package has an uninstall container.
    bool IsUninstallMode() const { return m_pUninstall != nullptr; }

    CTermLicContainer* m_pLicense = nullptr;
    CTermCoreContainer* m_pCore = nullptr;
    CTermCustomContainer* m_pCustom = nullptr;
    CTermUninstContainer* m_pUninstall = nullptr;

private:
    TStrStatic<MAX_PATH> m_path;

    // Moves `scratch` into the slot of its type; other types are dropped.
    bool Keep(CDCContainer& scratch);
};
