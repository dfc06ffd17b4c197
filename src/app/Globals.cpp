#include "app/Globals.h"

TStrStatic<0x104> SetupFolder;
TStrStatic<0x200> ProgramName;
TStrStatic<0x100> ProgramBrief;
TStrStatic<0x100> CompanyName;

int LaunchAfterInstall = 0;
int CreateDesktopShortcut = 0;
