// Waiting on the UI thread without blocking it: a worker sends messages to
// the UI thread's windows and would hang on a thread that only waits.
#pragma once

#include <windows.h>

// Waits for `handle`, dispatching every message that arrives meanwhile.
void WaitWithMessagePump(HANDLE handle);
