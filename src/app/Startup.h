// The normal run: everything but the two service modes.
#pragma once

#include <windows.h>

// Returns the process exit code.
int RunSetup(HINSTANCE instance);
