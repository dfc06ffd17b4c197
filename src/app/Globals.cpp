#include "app/Globals.h"

TextStore Texts;
InstallPackage Package;
TStrStatic<0x104> SetupFolder;
TStrStatic<0x200> ProgramName;
TStrStatic<0x100> ProgramBrief;
TStrStatic<0x100> CompanyName;

int LaunchAfterInstall = 0;
int CreateDesktopShortcut = 0;
int WindowsVersion = 0;

TStrStatic<0x104> InstallFolder;
TStrStatic<0x104> ProgramGroup;
TStrStatic<0x104> ProgramGroupPath;
TStrStatic<0x104> MainProgramPath;
