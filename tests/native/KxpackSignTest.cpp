// Authenticode signing by `kxpack build` and the signer shown by `kxpack
// inspect`, with a code-signing certificate made here by the openssl tool.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "KxpackFixture.h"
#include "ProcessEnd.h"
#include "package/PackageFormat.h"

namespace {

const char SIGNER[] = "/CN=kxpack test signer/O=Test Company";

class KxpackSignTest : public KxpackCliTest {
protected:
    static void SetUpTestSuite()
    {
        KxpackCliTest::SetUpTestSuite();
        const std::string folder = *s_keys / "signer";
        ASSERT_EQ(0, mkdir(folder.c_str(), 0700));
        WriteText(folder + "/pass.txt", "p12 secret\n");
        WriteText(folder + "/wrong-pass.txt", "not the secret\n");
        const std::vector<std::vector<std::string>> commands = {
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", folder + "/key.pem", "-out",
             folder + "/cert.pem", "-subj", SIGNER, "-days", "30", "-addext", "extendedKeyUsage=codeSigning"},
            {"genpkey", "-algorithm", "RSA", "-out", folder + "/other-key.pem"},
            {"pkey", "-in", folder + "/key.pem", "-aes256", "-passout", "file:" + folder + "/pass.txt", "-out",
             folder + "/encrypted-key.pem"},
            {"pkcs12", "-export", "-in", folder + "/cert.pem", "-inkey", folder + "/key.pem", "-out",
             folder + "/signer.p12", "-passout", "file:" + folder + "/pass.txt"},
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", folder + "/tsa-key.pem", "-out",
             folder + "/tsa-cert.pem", "-subj", "/CN=kxpack test time stamps", "-days", "30", "-addext",
             "extendedKeyUsage=critical,timeStamping"}};
        for (const auto& command : commands) {
            ToolResult made = RunProgram("openssl", command);
            ASSERT_EQ(0, made.exitCode) << command[0] << ": " << made.err;
        }
    }

    std::string Signer(const std::string& name) const { return *s_keys / ("signer/" + name); }
    std::vector<std::string> PemOptions() const
    {
        return {"--sign-cert", Signer("cert.pem"), "--sign-key", Signer("key.pem")};
    }
    // Windows' check, done offline: the signer's certificate is the trust anchor.
    ToolResult Verify(const std::string& path) const
    {
        return RunProgram("osslsigncode", {"verify", "-CAfile", Signer("cert.pem"), "-in", path});
    }
};

// The error is the one line kxpack says, and nothing came before it.
void ExpectOnlyLine(const ToolResult& result)
{
    EXPECT_EQ(0u, result.err.find("kxpack: ")) << result.err;
    EXPECT_EQ(result.err.size() - 1, result.err.find('\n')) << result.err;
}

TEST_F(KxpackSignTest, SignsWithCertificateAndKeyOrPkcs12)
{
    const std::string out = m_dir / "out.exe";
    const std::vector<std::string> encrypted = {"--sign-cert", Signer("cert.pem"), "--sign-key",
                                                Signer("encrypted-key.pem"), "--sign-pass-file", Signer("pass.txt")};
    for (const auto& options :
         {PemOptions(), encrypted, {"--sign-pkcs12", Signer("signer.p12"), "--sign-pass-file", Signer("pass.txt")}}) {
        ToolResult build = Build(options);
        ASSERT_EQ(0, build.exitCode) << build.err;
        ToolResult text = RunKxpack({"inspect", out});
        EXPECT_EQ(0, text.exitCode) << text.out; // the package behind the image still verifies
        EXPECT_NE(std::string::npos, text.out.find("authenticode: sha256, not time-stamped")) << text.out;
        EXPECT_NE(std::string::npos, text.out.find(std::string("  signer:     ") + SIGNER + "\n")) << text.out;
        ToolResult json = RunKxpack({"inspect", "--json", out});
        for (const std::string& expected : {std::string("\"subject\": \"") + SIGNER + "\"",
                                            std::string("\"issuer\": \"") + SIGNER + "\"",
                                            std::string("\"digest\": \"sha256\""),
                                            std::string("\"timestamped\": false")})
            EXPECT_NE(std::string::npos, json.out.find(expected)) << expected << "\n" << json.out;
        ToolResult verify = Verify(out);
        EXPECT_EQ(0, verify.exitCode) << verify.out << verify.err;
        struct stat info;
        ASSERT_EQ(0, stat(out.c_str(), &info));
        EXPECT_EQ(0755u, info.st_mode & 0777);
        EXPECT_EQ((std::vector<std::string>{"out.exe", "product", "setup.exe"}), m_dir.List());
    }

    // The signature covers the package: one changed byte in it is found.
    Bytes file = ReadBytes(out);
    file[ReadU32(&file[PACKAGE_OFFSET_FIELD]) + 16] ^= 1;
    WriteBytes(m_dir / "tampered.exe", file);
    EXPECT_NE(0, Verify(m_dir / "tampered.exe").exitCode);
    // A cut signature is a problem that inspect names.
    file.resize(file.size() - 100);
    WriteBytes(m_dir / "cut.exe", file);
    ToolResult cut = RunKxpack({"inspect", m_dir / "cut.exe"});
    EXPECT_EQ(1, cut.exitCode);
    EXPECT_NE(std::string::npos, cut.out.find("  - authenticode: the security directory")) << cut.out;

    // A signed installer as stub: the new installer carries no stale
    // signature entry (it would point into the new package).
    ToolResult again = RunKxpack({"build", "--stub", out, "--key", *s_keys / "main/package-key.pem", "--product",
                                  m_dir / "product", "--output", m_dir / "again.exe"});
    ASSERT_EQ(0, again.exitCode) << again.err;
    ToolResult json = RunKxpack({"inspect", "--json", m_dir / "again.exe"});
    EXPECT_EQ(0, json.exitCode) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("\"authenticode\": null")) << json.out;

    // A time stamp is shown with its time (made by osslsigncode's own
    // time-stamp authority, as no server is reachable here).
    ASSERT_EQ(0, RunProgram("osslsigncode", {"sign", "-h", "sha256", "-certs", Signer("cert.pem"), "-key",
                                             Signer("key.pem"), "-TSA-certs", Signer("tsa-cert.pem"), "-TSA-key",
                                             Signer("tsa-key.pem"), "-TSA-time", "1767225600", "-in",
                                             m_dir / "again.exe", "-out", m_dir / "stamped.exe"})
                     .exitCode);
    ToolResult stamped = RunKxpack({"inspect", m_dir / "stamped.exe"});
    EXPECT_EQ(0, stamped.exitCode) << stamped.out;
    EXPECT_NE(std::string::npos, stamped.out.find("authenticode: sha256, time-stamped 2026-01-01 00:00:00 UTC"))
        << stamped.out;

    // Nor does one signed anew: the signing tool would cut the package there.
    std::vector<std::string> resign = {"build", "--stub", out, "--key", *s_keys / "main/package-key.pem",
                                       "--product", m_dir / "product", "--output", m_dir / "again.exe"};
    for (const auto& option : PemOptions())
        resign.push_back(option);
    ASSERT_EQ(0, RunKxpack(resign).exitCode);
    EXPECT_EQ(0, Verify(m_dir / "again.exe").exitCode);
    EXPECT_EQ(0, RunKxpack({"inspect", m_dir / "again.exe"}).exitCode);
}

TEST_F(KxpackSignTest, FailedSigningLeavesTheEarlierOutput)
{
    // Found by osslsigncode after the build: the earlier output stays.
    std::vector<std::string> mismatch = {"--sign-cert", Signer("cert.pem"), "--sign-key", Signer("other-key.pem")};
    ToolResult result = ExpectBuildFails("other-key.pem", mismatch);
    EXPECT_NE(std::string::npos, result.err.find("\nkxpack: signing " + (m_dir / "out.exe") + " failed: "))
        << result.err;
    EXPECT_EQ(result.err.size() - 1, result.err.find('\n', result.err.find("kxpack: signing"))) << result.err;
    std::vector<std::string> timestamp = PemOptions();
    timestamp.insert(timestamp.end(), {"--timestamp-url", "http://127.0.0.1:9/"});
    ExpectBuildFails("Failed to get data from http://127.0.0.1:9/", timestamp);
    ExpectBuildFails("Wrong password",
                     {"--sign-pkcs12", Signer("signer.p12"), "--sign-pass-file", Signer("wrong-pass.txt")});
    // Named, not a pass phrase prompt that nobody answers.
    ExpectBuildFails("Failed to decode private key file: " + Signer("encrypted-key.pem"),
                     {"--sign-cert", Signer("cert.pem"), "--sign-key", Signer("encrypted-key.pem")});

    // Found before any work.
    ExpectOnlyLine(ExpectBuildFails("--sign-cert needs --sign-key", {"--sign-cert", Signer("cert.pem")}));
    std::vector<std::string> both = PemOptions();
    both.insert(both.end(), {"--sign-pkcs12", Signer("signer.p12")});
    ExpectOnlyLine(ExpectBuildFails("give it or --sign-cert and --sign-key, not both", both));
    ExpectOnlyLine(ExpectBuildFails("--timestamp-url needs", {"--timestamp-url", "http://127.0.0.1:9/"}));
    ExpectOnlyLine(ExpectBuildFails(
        (m_dir / "missing.pem") + ": No such file or directory",
        {"--sign-cert", Signer("cert.pem"), "--sign-key", m_dir / "missing.pem"}));
    std::string path = getenv("PATH");
    setenv("PATH", m_dir.Path().c_str(), 1);
    ToolResult noTool = ExpectBuildFails("osslsigncode is not installed", PemOptions());
    setenv("PATH", path.c_str(), 1);
    ExpectOnlyLine(noTool);
    EXPECT_NE(std::string::npos, noTool.err.find("(Debian package osslsigncode")) << noTool.err;
}

// A stand-in for osslsigncode, first in PATH while it lives: it writes its
// pid and that of a program it starts, then waits for that for ever.
class CFakeSigningTool {
public:
    CFakeSigningTool(const std::string& folder, bool deafToSigterm) : m_folder(folder)
    {
        EXPECT_EQ(0, mkdir(folder.c_str(), 0755));
        WriteText(folder + "/osslsigncode", std::string("#!/bin/sh\n") + (deafToSigterm ? "trap '' TERM\n" : "") +
                                                "echo $$ > \"" + folder + "/tool.pid\"\n"
                                                "sleep 300 &\n"
                                                "echo $! > \"" + folder + "/sleep.pid\"\n"
                                                "wait\n");
        EXPECT_EQ(0, chmod((folder + "/osslsigncode").c_str(), 0755));
        m_path = getenv("PATH");
        setenv("PATH", (folder + ":" + m_path).c_str(), 1);
    }
    ~CFakeSigningTool()
    {
        setenv("PATH", m_path.c_str(), 1);
        for (pid_t pid : {Pid("tool.pid"), Pid("sleep.pid")})
            if (pid > 0)
                kill(pid, SIGKILL);
    }
    // 0 until the file is there.
    pid_t Pid(const char* file) const
    {
        std::string text = ReadText(m_folder + "/" + file);
        return text.empty() || text.back() != '\n' ? 0 : static_cast<pid_t>(std::stol(text));
    }
    // Waits (at most 20 s) until the tool and what it started are running.
    bool Running() const
    {
        for (int waited = 0; waited < 2000 && !Pid("sleep.pid"); ++waited)
            usleep(10000);
        return Pid("tool.pid") && Pid("sleep.pid");
    }

private:
    std::string m_folder;
    std::string m_path;
};

TEST_F(KxpackSignTest, EndingKxpackEndsTheSigningToolAndWhatItStarted)
{
    const std::pair<int, bool> cases[] = {{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGTERM, true}};
    for (const auto& [signal, deaf] : cases) {
        SCOPED_TRACE(std::string(strsignal(signal)) + (deaf ? ", the tool deaf to SIGTERM" : ""));
        ASSERT_EQ(0, system(("rm -rf '" + (m_dir / "bin") + "'").c_str()));
        CFakeSigningTool tool(m_dir / "bin", deaf);
        pid_t kxpack = StartKxpack(BuildArgs(PemOptions()));
        ASSERT_GT(kxpack, 0);
        ASSERT_TRUE(tool.Running());
        kill(kxpack, signal);
        int status = 0;
        ASSERT_EQ(kxpack, waitpid(kxpack, &status, 0));
        // It ends as the signal asks, so that its caller knows.
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(EndsWithin(tool.Pid("tool.pid"), 10)) << "the signing tool runs on";
        EXPECT_TRUE(EndsWithin(tool.Pid("sleep.pid"), 10)) << "what it started runs on";
        EXPECT_EQ((std::vector<std::string>{"bin", "product", "setup.exe"}), m_dir.List());
    }
}

TEST_F(KxpackSignTest, ASigningToolThatTakesTooLongIsEndedWithWhatItStarted)
{
    CFakeSigningTool tool(m_dir / "bin", true);
    setenv("KXPACK_SIGNING_TIMEOUT", "1", 1);
    ToolResult result = ExpectBuildFails("osslsigncode did not finish in 1 s", PemOptions());
    unsetenv("KXPACK_SIGNING_TIMEOUT");
    EXPECT_TRUE(EndsWithin(tool.Pid("tool.pid"), 10)) << "the signing tool runs on";
    EXPECT_TRUE(EndsWithin(tool.Pid("sleep.pid"), 10)) << "what it started runs on";

    setenv("KXPACK_SIGNING_TIMEOUT", "soon", 1);
    ExpectBuildFails("KXPACK_SIGNING_TIMEOUT=soon: ", PemOptions());
    unsetenv("KXPACK_SIGNING_TIMEOUT");
}

} // namespace
