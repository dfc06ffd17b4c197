// The process-wide state, all of it. The names are filled once on the main
// thread before any other thread exists and are read-only afterwards; the two
// flags are set by the settings page before the worker that reads them starts.
#pragma once

#include "base/Str.h"
#include "base/TextStore.h"
#include "package/InstallPackage.h"

// The localised texts, read by the UI thread and the workers.
extern TextStore Texts;

// The package read from the program's own file; its records stay in memory,
// descrambled, for the life of the process.
extern InstallPackage Package;

// Folder of the running program file, without a trailing backslash. For the
// uninstaller, which lies in the installation folder, this is that folder.
extern TStrStatic<0x104> SetupFolder;
// Caption of every message box.
extern TStrStatic<0x200> ProgramName;
extern TStrStatic<0x100> ProgramBrief;
extern TStrStatic<0x100> CompanyName;

extern int LaunchAfterInstall;
extern int CreateDesktopShortcut;

// major * 100 + minor of the running Windows once it has been read; 0 before.
extern int WindowsVersion;

// The installation folder and the Start-menu group name chosen on the
// settings page; the uninstaller reads them from its uninstall list.
extern TStrStatic<0x104> InstallFolder;
extern TStrStatic<0x104> ProgramGroup;
// The group's folder, filled when the installation creates it.
extern TStrStatic<0x104> ProgramGroupPath;
// The main program (the first shortcut's target): a full path during an
// installation, the configured path relative to the installation folder
// during an uninstallation.
extern TStrStatic<0x104> MainProgramPath;
