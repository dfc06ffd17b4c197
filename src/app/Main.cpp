// Entry point of setup.exe, which is installer and uninstaller alike: only the
// package behind its image tells the two apart.
#include <windows.h>

#include "app/RunModes.h"
#include "app/Startup.h"
#include "base/SystemLibrary.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    RestrictDllSearch();

    int exitCode = EXIT_FAILED;
    if (RunServiceMode(commandLine, &exitCode))
        return exitCode;
    return RunSetup(instance);
}
