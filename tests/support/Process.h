// Starting a program from a Windows-side test and reading its real exit
// code: Linux would cut it to 8 bits.
#pragma once

#include <windows.h>

#include <string>

struct ProcessResult {
    bool started = false;
    bool finished = false; // false: still running at the time limit (it was then ended)
    DWORD exitCode = 0;
    DWORD elapsedMs = 0;
    bool showedWindow = false; // a visible top-level window of the process was seen
};

// Runs `program` with `arguments` (the program path is quoted in front of
// them) and waits at most `timeoutMs`, looking for its windows meanwhile.
ProcessResult RunProgram(const std::wstring& program, const std::wstring& arguments,
                         DWORD timeoutMs);

// Whether the process shows a visible top-level window now.
bool HasVisibleWindow(DWORD processId);

// Folder of the running test program: setup.exe is built next to it.
std::wstring ProgramFolder();
