// The system's entry for the installed program, in the list of installed
// programs: what the system shows, and runs with administrator rights when
// the user removes the program.
#pragma once

#include <windows.h>

#include <cstdint>

class CStr;

// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<product name>".
void FormatUninstallKey(CStr& key);

// What the entry tells of an installation.
struct TUninstallEntry {
    const wchar_t* uninstallerPath;
    const wchar_t* mainProgramPath;
    const wchar_t* installFolder;
    const wchar_t* version;   // the package's product_version=; "5.00" when null or empty
    const wchar_t* aboutLink; // the package's company_link=; none when null or empty
    uint64_t installedBytes;  // the files installed, the uninstaller's included
};

// Writes the entry's values under HKEY_LOCAL_MACHINE: the product's and the
// company's names, the main program's icon, the version and the quoted
// uninstaller; then the installation folder, the size in KB, that there is
// nothing to modify or repair, and the company's address when there is one.
bool RegisterUninstaller(const TUninstallEntry& entry);

// What the entry held before a run wrote it, so that a run that fails or is
// cancelled leaves the list of installed programs as it found it: a key
// that was not there goes again, the values of one that was are put back.
class CRegistrationBackup {
public:
    // Before RegisterUninstaller.
    void Capture();
    // After a run that wrote the entry and then failed or was cancelled.
    void Restore() const;

private:
    static const unsigned VALUE_COUNT = 10;
    static const unsigned VALUE_BYTES = 2048;
    struct TValue {
        bool present;
        DWORD type;
        DWORD bytes;
        BYTE data[VALUE_BYTES];
    };
    bool m_bCaptured = false;
    bool m_bExisted = false;
    TValue m_values[VALUE_COUNT] = {};
};
