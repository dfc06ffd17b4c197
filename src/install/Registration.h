// The system's entry for the installed program, in the list of installed
// programs: what the system shows, and runs with administrator rights when
// the user removes the program.
#pragma once

class CStr;

// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<product name>".
void FormatUninstallKey(CStr& key);

// Writes the entry's values under HKEY_LOCAL_MACHINE: the product's and the
// company's names, the main program's icon, and the quoted uninstaller.
bool RegisterUninstaller(const wchar_t* uninstallerPath, const wchar_t* mainProgramPath);
