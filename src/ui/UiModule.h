// What the window layer needs before the first sheet and after the last:
// the company link's window class.
#pragma once

#include <windows.h>

bool InitUiModule(HINSTANCE instance);
void TermUiModule(HINSTANCE instance);
