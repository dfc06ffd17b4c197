// How kxpack runs a helper program: what it said, how it ended, and a limit
// on how long it may take.
#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <chrono>

#include "ProcessEnd.h"
#include "ToolRunner.h"
#include "lib/ChildProcess.h"

namespace {

TEST(ChildProcessTest, ReportsTheEndAndEndsAProgramThatTakesTooLong)
{
    ChildResult said = RunChild("sh", {"-c", "echo to-stdout; echo 'Enter pass phrase:' >&2; "
                                             "echo 'failed: key.pem' >&2; echo '  in detail' >&2; exit 3"},
                                10);
    EXPECT_TRUE(said.started);
    EXPECT_EQ(3, said.exitCode);
    EXPECT_FALSE(said.timedOut);
    EXPECT_EQ("Enter pass phrase:\nfailed: key.pem\n  in detail\n", said.stderrText);
    EXPECT_EQ("failed: key.pem in detail", FirstMessage(said.stderrText));
    EXPECT_EQ("key values mismatch",
              FirstMessage("40F7:error:05800074:x509 certificate routines:X509_check_private_key:"
                           "key values mismatch:../crypto/x509/x509_cmp.c:403:\n"));

    auto start = std::chrono::steady_clock::now();
    ChildResult slow = RunChild("sleep", {"30"}, 1);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(slow.timedOut);
    EXPECT_LT(seconds, 10.0);

    ChildResult missing = RunChild("kxpack-no-such-program", {}, 10);
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(ENOENT, missing.startErrno);
    EXPECT_FALSE(IsProgramInPath("kxpack-no-such-program"));
    EXPECT_TRUE(IsProgramInPath("sh"));
}

// A program that started others and takes too long is ended with all of
// them: what it started would otherwise run on, holding its output open.
TEST(ChildProcessTest, ATimeOutEndsWhatTheProgramStartedToo)
{
    CScratchFolder dir;
    const std::string pids = dir / "pids";
    for (const char* script : {"sleep 300 & echo $! > \"$0\"; wait",
                               // Deaf to SIGTERM, and so is what it starts: SIGKILL after a grace.
                               "trap '' TERM; sleep 300 & echo $! > \"$0\"; wait"}) {
        SCOPED_TRACE(script);
        ChildResult slow = RunChild("sh", {"-c", script, pids}, 1);
        EXPECT_TRUE(slow.timedOut);
        pid_t sleeper = static_cast<pid_t>(std::stol("0" + ReadText(pids)));
        ASSERT_GT(sleeper, 0);
        EXPECT_TRUE(EndsWithin(sleeper, 10)) << "sleep " << sleeper << " runs on";
        kill(sleeper, SIGKILL);
    }
}

} // namespace
