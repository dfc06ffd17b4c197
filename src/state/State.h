// The process-wide state, all of it, and nothing else is global. Filled once
// on the main thread before any other thread exists and read-only afterwards,
// but for the version cache, which the welcome page fills on the UI thread.
//
// It sits above package/ and below everything that reads it; nothing in
// base/ or package/ does. What the user chooses and what a run makes travel
// as values: the settings page hands its choices to the installation as one
// TInstallSettings, and the engines keep what they made themselves.
#pragma once

#include "base/Str.h"
#include "base/TextStore.h"
#include "package/InstallPackage.h"

// The localised texts, read by the UI thread and the workers.
extern TextStore Texts;

// The package behind the program's image. Its records stay in memory,
// descrambled, for the life of the process; the program archives stay in
// the file, which the package knows.
extern InstallPackage Package;

// Folder of the running program file, without a trailing backslash. For the
// uninstaller, which lies in the installation folder, this is that folder.
extern TStrStatic<0x104> SetupFolder;
// Caption of every message box.
extern TStrStatic<0x200> ProgramName;
extern TStrStatic<0x100> ProgramBrief;
extern TStrStatic<0x100> CompanyName;

// major * 100 + minor of the running Windows once it has been read; 0 before.
extern int WindowsVersion;
