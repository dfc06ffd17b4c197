// The process groups of the helper programs kxpack runs (osslsigncode): each
// program leads a group of its own, and whatever it starts is in it too. A
// group is ended with kxpack: on kxpack's time-out for it, and when a signal
// ends kxpack (the handler in ScratchFiles.cpp calls EndChildGroups).
#pragma once

#include <sys/types.h>

// Watches the group led by `leader`, a child of this process; false when
// the table is full.
bool WatchChildGroup(pid_t leader);
// Called while the leader is still unreaped: its id is then in no group
// kxpack would signal once it is free again.
void ForgetChildGroup(pid_t leader);

// Ends the group led by `leader`: SIGTERM to all of it, then, once the
// leader has exited or a grace of two seconds has passed, SIGKILL to
// whatever is left. The leader is reaped: true, with its wait status.
// Async-signal-safe.
bool EndChildGroup(pid_t leader, int& status);
// Every watched group ended so; for a signal handler.
void EndChildGroups();
