// Starting a program with a command line and waiting a while for it.
#pragma once

#include <windows.h>

class CStr;

// CreateProcessW without window, handles or inheritance, in `folder` (the
// installation folder: not the folder the installer was started from, which
// may be a Downloads folder that anyone can write to), then a wait of at
// most `timeoutMs`. True when it started; the result of the program and of
// the wait do not matter (one still running goes on running).
bool RunAndWait(CStr& commandLine, const wchar_t* folder, DWORD timeoutMs);
