// The system's entry for the installed program, in the list of installed
// programs: what the system shows, and runs with administrator rights when
// the user removes the program.
#pragma once

#include <windows.h>

class CStr;

// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<product name>".
void FormatUninstallKey(CStr& key);

// Writes the entry's values under HKEY_LOCAL_MACHINE: the product's and the
// company's names, the main program's icon, and the quoted uninstaller.
bool RegisterUninstaller(const wchar_t* uninstallerPath, const wchar_t* mainProgramPath);

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
    static const unsigned VALUE_COUNT = 5;
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
