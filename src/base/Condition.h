// A condition variable over a critical section, for threads that hand work
// to each other many times a second: the system's own where it has one
// (Windows Vista and later; it waits without a kernel object, and under
// Wine without a round trip to the server), else an event that wakes a
// waiter, with waits cut into short slices so that no wake-up is missed for
// long. Every wait is in a loop that checks its condition again.
#pragma once

#include <windows.h>

#include "base/CriticalSection.h"
#include "base/Handle.h"
#include "base/SystemLibrary.h"

class CCondition {
public:
    CCondition();
    CCondition(const CCondition&) = delete;
    CCondition& operator=(const CCondition&) = delete;

    // Waits until woken, or `milliseconds` passed; `section` is held on
    // entry and again on return. May return without a wake-up.
    void Wait(CCriticalSection& section, DWORD milliseconds = INFINITE);
    void WakeOne();
    void WakeAll();

private:
    void* m_variable = nullptr; // CONDITION_VARIABLE: a pointer-sized word, zero when unused
    SleepConditionVariableCSFn m_sleep;
    WakeConditionVariableFn m_wakeOne;
    WakeConditionVariableFn m_wakeAll;
    CHandle m_event; // without the system's variables
};
