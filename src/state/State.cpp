#include "state/State.h"

TextStore Texts;
InstallPackage Package;
TStrStatic<0x104> SetupFolder;
TStrStatic<0x200> ProgramName;
TStrStatic<0x100> ProgramBrief;
TStrStatic<0x100> CompanyName;

int WindowsVersion = 0;
