// The install package behind the program's image: up to one container of
// each kind. An installer carries licence and core (and maybe custom)
// containers, an uninstaller licence and uninstall containers.
#pragma once

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

    // The process runs the uninstaller when its package has an uninstall container.
    bool IsUninstallMode() const { return m_pUninstall != nullptr; }

    CTermLicContainer* m_pLicense = nullptr;
    CTermCoreContainer* m_pCore = nullptr;
    CTermCustomContainer* m_pCustom = nullptr;
    CTermUninstContainer* m_pUninstall = nullptr;

private:
    // Moves `scratch` into the slot of its type; other types are dropped.
    bool Keep(CDCContainer& scratch);
};
