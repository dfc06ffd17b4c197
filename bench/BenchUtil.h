// Timing and memory figures for the benchmarks (Windows side, under Wine).
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

inline double NowSeconds()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Peak working set of this process, in bytes.
struct MemoryPeak {
    size_t workingSet = 0;
};
MemoryPeak GetMemoryPeak();
// The same of another running process (0 when it cannot be read).
size_t GetPeakWorkingSet(HANDLE process);

// Runs this program again with `arguments` and returns what it printed on
// its first output line; empty on failure.
std::string RunSelf(const std::wstring& arguments);

std::wstring ProgramPath();
