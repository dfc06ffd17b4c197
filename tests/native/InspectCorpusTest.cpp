// The fuzzer's committed inputs (tests/fuzz/corpus and tests/fuzz/regressions)
// through the in-memory inspection, built without sanitizers: each is
// inspected the way the fuzz target does it and must keep the same rules, and
// the command line must print exactly the report. Inputs that once crashed,
// ran out of memory or hung stay in the corpus and fail here if they do again.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "Args.h"
#include "FuzzSigner.h"
#include "InspectBytes.h"
#include "InspectRules.h"
#include "ToolRunner.h"
#include "lib/FileIo.h"
#include "lib/SignedPayload.h"
#include "package/PackageFormat.h"

namespace {

struct CorpusInput {
    std::string path;
    Bytes bytes;
};

std::vector<CorpusInput> LoadInputs()
{
    std::vector<CorpusInput> inputs;
    for (const char* folder : {"corpus", "regressions"}) {
        std::string root = std::string(KX_FUZZ_INPUTS) + "/" + folder;
        std::vector<std::string> names;
        std::string error;
        if (!ListFolder(root, names, error))
            continue; // no regressions yet
        for (const auto& name : names) {
            CorpusInput input{root + "/" + name, {}};
            EXPECT_TRUE(ReadWholeFile(input.path, input.bytes, error)) << error;
            inputs.push_back(std::move(input));
        }
    }
    return inputs;
}

// A child process inspects, so that a crash, a runaway allocation or a hang
// fails one input instead of the whole test program. The inputs are a few
// kilobytes: 1 GB of address space and 30 s are far more than any needs.
std::string InspectInChild(const Bytes& file, const CFuzzKey& key)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return "no pipe";
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        struct rlimit memory = {1u << 30, 1u << 30};
        setrlimit(RLIMIT_AS, &memory);
        alarm(30);
        std::string broken;
        // Nothing may leave the child: gtest would catch it and go on with
        // the other tests in here.
        try {
            broken = InspectLikeTheFuzzer(file, key);
        } catch (const std::exception& e) {
            broken = std::string("threw ") + e.what();
        }
        if (!broken.empty() && write(pipeFds[1], broken.data(), broken.size()) < 0)
            _exit(2);
        _exit(broken.empty() ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string said;
    char chunk[512];
    ssize_t got;
    while ((got = read(pipeFds[0], chunk, sizeof(chunk))) > 0)
        said.append(chunk, static_cast<size_t>(got));
    close(pipeFds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return "the child did not start";
    if (WIFSIGNALED(status))
        return std::string("killed by ") + strsignal(WTERMSIG(status)) +
               (WTERMSIG(status) == SIGALRM ? " (a hang)" : "");
    return WEXITSTATUS(status) == 0 ? "" : said;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class InspectCorpusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_inputs = new std::vector<CorpusInput>(LoadInputs()); }
    static void TearDownTestSuite()
    {
        delete s_inputs;
        s_inputs = nullptr;
    }

    const CorpusInput* Find(const std::string& name) const
    {
        for (const auto& input : *s_inputs)
            if (EndsWith(input.path, "/corpus/" + name))
                return &input;
        return nullptr;
    }

    static std::vector<CorpusInput>* s_inputs;
};

std::vector<CorpusInput>* InspectCorpusTest::s_inputs = nullptr;

TEST_F(InspectCorpusTest, EveryInputInspectsAsInTheFuzzer)
{
    // The seeds alone are four; fewer means the corpus went missing.
    ASSERT_GE(s_inputs->size(), 4u) << KX_FUZZ_INPUTS;
    CFuzzKey key;
    for (const auto& input : *s_inputs)
        EXPECT_EQ("", InspectInChild(input.bytes, key)) << input.path;
}

TEST_F(InspectCorpusTest, TheCommandLinePrintsTheSameReport)
{
    for (const auto& input : *s_inputs) {
        SCOPED_TRACE(input.path);
        for (bool json : {false, true}) {
            InspectResult expected = InspectBytes(input.bytes, input.path, nullptr, json);
            std::vector<std::string> args = {"inspect", input.path};
            if (json)
                args.push_back("--json");
            ToolResult tool = RunKxpack(args);
            EXPECT_EQ(expected.exitCode, tool.exitCode);
            EXPECT_EQ(expected.report, tool.out);
            EXPECT_EQ(expected.error.empty() ? "" : "kxpack: " + expected.error + "\n", tool.err);
        }
    }
}

// The seeds from make-seeds.sh, each built to take inspect down one path.
TEST_F(InspectCorpusTest, TheSeedsReachTheirPaths)
{
    const std::pair<const char*, const char*> seeds[] = {
        {"installer.exe", "result:       everything verified\n"},
        {"uninstaller.exe", "runs as:      uninstaller\n"},
        {"cut.exe", ": unreadable, skipped\n"},
        {"no-cert.exe", "the image carries no package certificate"},
    };
    for (const auto& seed : seeds) {
        const CorpusInput* input = Find(seed.first);
        ASSERT_NE(nullptr, input) << seed.first;
        InspectResult result = InspectBytes(input->bytes, seed.first, nullptr, false);
        EXPECT_NE(std::string::npos, result.report.find(seed.second)) << result.report;
        EXPECT_EQ(std::string(seed.first) == "installer.exe" ? EXIT_OK : EXIT_FAILED, result.exitCode);
    }
}

// A certificate given by the caller replaces the embedded one, and one that
// cannot be read is a problem of the report, not a failure to make one.
TEST_F(InspectCorpusTest, AGivenCertificateReplacesTheEmbeddedOne)
{
    const CorpusInput* installer = Find("installer.exe");
    const CorpusInput* noCert = Find("no-cert.exe");
    ASSERT_TRUE(installer && noCert);
    ASSERT_EQ(EXIT_OK, InspectBytes(installer->bytes, "installer.exe", nullptr, false).exitCode);
    // The certificate carried by the installer's own image, given as if read from a file.
    InspectCertificate given{"given.der", {}, ""};
    const std::string marker = "KXCERT01";
    auto at = std::search(installer->bytes.begin(), installer->bytes.end(), marker.begin(), marker.end());
    ASSERT_NE(installer->bytes.end(), at);
    uint32_t length = ReadU32(&*(at + 8));
    given.der.assign(at + 12, at + 12 + length);

    InspectResult result = InspectBytes(noCert->bytes, "no-cert.exe", &given, false);
    EXPECT_EQ(EXIT_OK, result.exitCode) << result.report;
    EXPECT_NE(std::string::npos, result.report.find("(given.der)\n")) << result.report;

    given.der.pop_back();
    result = InspectBytes(installer->bytes, "installer.exe", &given, false);
    EXPECT_EQ(EXIT_FAILED, result.exitCode);
    EXPECT_NE(std::string::npos, result.report.find("  - given.der: not a DER certificate")) << result.report;
    EXPECT_NE(std::string::npos, result.report.find("configuration: not checked: no certificate"))
        << result.report;

    given.readError = "given.der: No such file or directory";
    result = InspectBytes(installer->bytes, "installer.exe", &given, false);
    EXPECT_EQ(EXIT_FAILED, result.exitCode);
    EXPECT_NE(std::string::npos, result.report.find("given.der: No such file or directory")) << result.report;
}

// A signed payload may declare any size; what it unpacks to is what its
// stream makes, and no more than that is ever allocated for it.
TEST(SignedPayloadSizeTest, TheStreamDecidesNotTheDeclaredSize)
{
    // Zeros pack as tightly as LZO1X-999 packs anything (some 190 : 1).
    Bytes zeros(20u << 20, 0), payload, content;
    std::string error;
    ASSERT_TRUE(PackSignedPayload(zeros, payload, error)) << error;
    ASSERT_TRUE(UnpackSignedPayload(payload.data(), payload.size(), content, error)) << error;
    EXPECT_TRUE(content == zeros);

    Bytes text = {'s', 'm', 'a', 'l', 'l'};
    ASSERT_TRUE(PackSignedPayload(text, payload, error)) << error;
    DescrambleRecord(payload.data(), static_cast<ptrdiff_t>(payload.size()), SIGNATURE_LAYER_KEY);
    uint32_t declared = 0xFFFFFFF0u;
    memcpy(&payload[payload.size() - SIGNED_TRAILER_BYTES], &declared, 4);
    ScrambleRecord(payload.data(), static_cast<ptrdiff_t>(payload.size()), SIGNATURE_LAYER_KEY);
    Bytes unpacked;
    ASSERT_TRUE(UnpackSignedPayload(payload.data(), payload.size(), unpacked, error)) << error;
    EXPECT_EQ(text, unpacked);
    EXPECT_LT(unpacked.capacity(), 4096u);
}

} // namespace
