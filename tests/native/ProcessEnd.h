// Whether a process has ended, for the tests of what kxpack leaves running.
#pragma once

#include <sys/types.h>

// Whether `pid` has ended (a zombie nobody reaped counts as ended), asked
// again every few milliseconds for at most `seconds`.
bool EndsWithin(pid_t pid, int seconds);
