// The normal run: everything but the two service modes.
#pragma once

#include <windows.h>

enum class RunMode { Install, Uninstall };

// Reads the package of the program file at `programPath` into `Package`, sets
// `SetupFolder` and the product, brief and company names. False, with nothing
// shown, when the package does not load or a name is missing or empty.
bool LoadPackageAndNames(const wchar_t* programPath);

// Uninstall when the package holds an uninstall container.
RunMode GetRunMode();

// Returns the process exit code.
int RunSetup(HINSTANCE instance);
