// The two service modes of the command line, answered before anything else
// is set up: "/checkup" proves that the program starts, "/processwait:<id>"
// lets the self-removal script wait for the uninstaller that wrote it.
#pragma once

enum : int {
    EXIT_CHECKUP = 12345,
    EXIT_FAILED = -1,
    EXIT_PROCESS_GONE = 0,
};

// True when `commandLine` (without the program name) asks for a service mode;
// `exitCode` then holds its result. Comparisons are case-sensitive.
bool RunServiceMode(const wchar_t* commandLine, int* exitCode);

// Waits for the process named by "/processwait:<id>" to end: 10 probes 300 ms
// apart. 0 when it is gone, -1 when it still runs or there is no usable key.
int WaitForProcessExit(const wchar_t* commandLine);
