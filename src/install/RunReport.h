// How the install and uninstall engines report a run: steps started, done
// or failed, progress within a step, errors and warnings for the user, and
// the end. The engines hold no window and send no window message; the
// progress pages turn each report into their own messages, and the tests
// record the calls.
//
// Every call comes from the thread that runs the engine. Error and Warning
// return once the user has seen them, so that a run goes on, or stops,
// only after its message.
#pragma once

#include <windows.h>

#include <cstdint>

// The state of a step row, which is also the index of its image.
enum : WORD {
    StepRunning = 0,
    StepDone = 1,
    StepFailed = 2,
};

class CRunReport {
public:
    virtual ~CRunReport() = default;

    virtual void StepStarted(unsigned row) = 0;
    virtual void StepDone(unsigned row) = 0;
    virtual void StepFailed(unsigned row) = 0;
    // Within the running step `row`: `done` of `total` (bytes or files).
    virtual void StepProgress(unsigned row, uint64_t done, uint64_t total) = 0;
    // A failure the user is told of: the system's text for `code`.
    virtual void Error(DWORD code) = 0;
    // A warning, a text of the string table.
    virtual void Warning(unsigned textId) = 0;
    // The run has ended; `succeeded` when every step was done.
    virtual void Finished(bool succeeded) = 0;
};
