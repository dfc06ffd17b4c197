#include "base/Condition.h"

namespace {

// Without the system's variables a wait lasts at most this long before its
// condition is checked again.
const DWORD FALLBACK_SLICE_MS = 5;

} // namespace

CCondition::CCondition()
    : m_sleep(GetKernelFunction<SleepConditionVariableCSFn>("SleepConditionVariableCS")),
      m_wakeOne(GetKernelFunction<WakeConditionVariableFn>("WakeConditionVariable")),
      m_wakeAll(GetKernelFunction<WakeConditionVariableFn>("WakeAllConditionVariable"))
{
    if (!m_sleep || !m_wakeOne || !m_wakeAll) {
        m_sleep = nullptr;
        m_event.Attach(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    }
}

void CCondition::Wait(CCriticalSection& section, DWORD milliseconds)
{
    if (m_sleep) {
        m_sleep(&m_variable, section.Get(), milliseconds);
        return;
    }
    section.Leave();
    WaitForSingleObject(m_event.Get(), milliseconds < FALLBACK_SLICE_MS ? milliseconds : FALLBACK_SLICE_MS);
    section.Enter();
}

void CCondition::WakeOne()
{
    if (m_sleep)
        m_wakeOne(&m_variable);
    else
        SetEvent(m_event.Get());
}

void CCondition::WakeAll()
{
    if (m_sleep)
        m_wakeAll(&m_variable);
    else
        SetEvent(m_event.Get());
}
