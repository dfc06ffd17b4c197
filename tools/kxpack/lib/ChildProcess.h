// Runs another program for kxpack, never through a shell, and keeps what it
// says on stderr for the error message.
#pragma once

#include <string>
#include <vector>

struct ChildResult {
    bool started = false;  // false: the program could not be run at all
    int startErrno = 0;    // why, when it was not started (ENOENT: not installed)
    int exitCode = -1;     // its exit status; 128 + signal when a signal ended it
    bool timedOut = false; // ended by us after `seconds`
    std::string stderrText;
};

// Runs `program` (looked up in PATH) with `args` and waits for it, at most
// `seconds`: then it is ended with everything it started (ChildGroups.h),
// as it is when a signal ends kxpack. Its stdin and stdout are /dev/null,
// and it runs in a session of its own, so that a tool asking for a pass
// phrase on the terminal fails instead of waiting.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args, int seconds);

// Whether `program` is an executable file in one of the PATH folders.
bool IsProgramInPath(const std::string& program);

// The first thing `stderrText` says, in one line: pass phrase prompts
// ("Enter ...:") are skipped, and so are lines that merely list OpenSSL's
// error stack ("<hex>:error:...") while there is anything else; indented
// continuation lines are joined on.
std::string FirstMessage(const std::string& stderrText);
