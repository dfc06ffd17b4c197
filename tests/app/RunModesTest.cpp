// The service modes of setup.exe, run for real and judged by their full
// 32-bit exit codes.
#include <gtest/gtest.h>

#include <string>

#include "support/Process.h"

namespace {

const DWORD EXIT_CHECKUP = 12345;
const DWORD EXIT_FAILED = static_cast<DWORD>(-1);
// "At once" against the wait mode's ten probes 300 ms apart.
const DWORD AT_ONCE_MS = 2000;
const DWORD LIMIT_MS = 20000;

std::wstring SetupPath()
{
    return ProgramFolder() + L"\\setup.exe";
}

ProcessResult RunSetup(const std::wstring& arguments)
{
    return RunProgram(SetupPath(), arguments, LIMIT_MS);
}

struct ModeCase {
    const wchar_t* arguments;
    DWORD exitCode;
};

TEST(RunModesTest, ImmediateAnswers)
{
    const ModeCase cases[] = {
        {L"/checkup", EXIT_CHECKUP},
        // Compared exactly and case-sensitively: these are normal runs, which
        // end silently with -1 for a program file without a package.
        {L"/checkup ", EXIT_FAILED},
        {L"/CHECKUP", EXIT_FAILED},
        {L"", EXIT_FAILED},
        {L"x /processwait:1", EXIT_FAILED},
        {L"|/processwait:1", EXIT_FAILED},
        // Wait mode without a usable key.
        {L"/processwait", EXIT_FAILED},
        {L"/processwait=5", EXIT_FAILED},
        {L"/PROCESSWAIT:1", EXIT_FAILED},
        // Wait mode with id 0 or an id nobody has: the process is gone.
        {L"/processwait:", 0},
        {L"/processwait:abc", 0},
        {L"/processwait:999999996", 0},
        // The key may also follow a separator.
        {L"/processwait-x|/processwait:", 0},
    };
    for (const auto& c : cases) {
        ProcessResult run = RunSetup(c.arguments);
        ASSERT_TRUE(run.started) << "setup.exe did not start";
        ASSERT_TRUE(run.finished) << "'" << c.arguments << "' still ran after " << LIMIT_MS << " ms";
        EXPECT_EQ(c.exitCode, run.exitCode) << "'" << c.arguments << "'";
        EXPECT_LT(run.elapsedMs, AT_ONCE_MS) << "'" << c.arguments << "'";
    }
}

TEST(RunModesTest, WaitGivesUpOnRunningProcess)
{
    // This test program runs all the while.
    std::wstring arguments = L"/processwait:" + std::to_wstring(GetCurrentProcessId());
    ProcessResult run = RunSetup(arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(EXIT_FAILED, run.exitCode);
    // Ten probes, 300 ms apart.
    EXPECT_GE(run.elapsedMs, 2700u);
    EXPECT_LT(run.elapsedMs, 10000u);
}

TEST(RunModesTest, WaitEndsForEndedProcessStillHeldOpen)
{
    // The parent of the waited-for uninstaller may keep a handle to it after it
    // has ended, so that the id still opens; the wait must end all the same.
    std::wstring line = L"\"" + SetupPath() + L"\" /checkup";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(SetupPath().c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &child));
    CloseHandle(child.hThread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, LIMIT_MS));

    ProcessResult run = RunSetup(L"/processwait:" + std::to_wstring(child.dwProcessId));
    CloseHandle(child.hProcess);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_LT(run.elapsedMs, AT_ONCE_MS);
}

} // namespace
