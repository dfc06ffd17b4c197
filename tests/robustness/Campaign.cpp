// The robustness campaign: mutated installers, ZIP archives and language
// files, each case made from a fixed seed and its index, given to the
// program's own code in a worker process. The runner watches the worker:
// a case that crashes it or outlasts the time limit is counted, saved and
// skipped, and the worker starts again behind it.
//
//   robustness_campaign TARGET COUNT [--base FILE] [--seed N] [--first N]
//                       [--limit SECONDS] [--failures FOLDER]
//   TARGET: package (needs --base, an installer), zip, language
//
// Exit code 0 when every case kept every promise, 1 otherwise, 2 for usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "robustness/Targets.h"

std::unique_ptr<CTarget> MakePackageTarget();
std::unique_ptr<CTarget> MakeZipTarget();
std::unique_ptr<CTarget> MakeLanguageTarget();

namespace {

// Checks the runner itself: case 3 crashes, case 5 hangs, the rest pass.
class CSelfTestTarget : public CTarget {
public:
    bool Prepare(const std::wstring&, std::string&) override
    {
        m_base = ByteVector(16, 0);
        return true;
    }
    TCaseResult Run(const ByteVector&, CScratch&) override
    {
        if (g_selfTestCase == 3)
            *static_cast<volatile int*>(nullptr) = 1;
        if (g_selfTestCase == 5)
            Sleep(INFINITE);
        return {"passed", g_selfTestCase == 7 ? "a promise broken on purpose" : ""};
    }
    static uint64_t g_selfTestCase;
};
uint64_t CSelfTestTarget::g_selfTestCase = 0;

} // namespace

std::unique_ptr<CTarget> MakeTarget(const std::string& name)
{
    if (name == "selftest")
        return std::unique_ptr<CTarget>(new CSelfTestTarget);
    if (name == "package")
        return MakePackageTarget();
    if (name == "zip")
        return MakeZipTarget();
    if (name == "language")
        return MakeLanguageTarget();
    return nullptr;
}

namespace {

struct TOptions {
    std::string target;
    std::wstring base;
    uint64_t count = 0;
    uint64_t seed = 20261207;
    uint64_t first = 0;
    unsigned limitSeconds = 30;
    std::wstring failures;
    bool worker = false;
};

const char USAGE[] =
    "usage: robustness_campaign TARGET COUNT [--base FILE] [--seed N] [--first N]\n"
    "                           [--limit SECONDS] [--failures FOLDER]\n"
    "  TARGET   package (mutated installers; --base names the installer),\n"
    "           zip (mutated ZIP archives) or language (mutated language files)\n"
    "  COUNT    cases to run, from case --first on (default 0)\n"
    "  --seed   the campaign's seed (default 20261207); a case depends on it and its index only\n"
    "  --limit  seconds a case may take before it counts as a hang (default 30)\n"
    "  --failures  folder for the inputs of failed cases (default: none saved)\n";

std::string Utf8(const wchar_t* text)
{
    char buffer[1024];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof(buffer), nullptr, nullptr);
    return length > 0 ? buffer : "";
}

bool ParseOptions(int argc, wchar_t** argv, TOptions& options)
{
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == L"--worker") {
            options.worker = true;
        } else if (arg == L"--base" && hasValue) {
            options.base = argv[++i];
        } else if (arg == L"--seed" && hasValue) {
            options.seed = _wcstoui64(argv[++i], nullptr, 10);
        } else if (arg == L"--first" && hasValue) {
            options.first = _wcstoui64(argv[++i], nullptr, 10);
        } else if (arg == L"--limit" && hasValue) {
            options.limitSeconds = static_cast<unsigned>(_wtoi(argv[++i]));
        } else if (arg == L"--failures" && hasValue) {
            options.failures = argv[++i];
        } else if (arg.compare(0, 2, L"--") != 0 && positional == 0) {
            options.target = Utf8(argv[i]);
            ++positional;
        } else if (arg.compare(0, 2, L"--") != 0 && positional == 1) {
            options.count = _wcstoui64(argv[i], nullptr, 10);
            ++positional;
        } else {
            return false;
        }
    }
    return positional == 2 && options.limitSeconds > 0 &&
           (options.target == "zip" || options.target == "language" || options.target == "selftest" ||
            (options.target == "package" && !options.base.empty()));
}

// ---- the worker: runs cases, one line per event on its output ----

uint64_t g_current = 0;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    printf("crash %llu %08lx\n", static_cast<unsigned long long>(g_current),
           exception->ExceptionRecord->ExceptionCode);
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int RunWorker(const TOptions& options)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    std::unique_ptr<CTarget> target = MakeTarget(options.target);
    std::string problem;
    if (!target->Prepare(options.base, problem)) {
        printf("setup %s\n", problem.c_str());
        return 1;
    }
    CScratch scratch;
    if (!scratch.Ready()) {
        printf("setup cannot make the scratch folder\n");
        return 1;
    }
    for (uint64_t i = options.first; i < options.first + options.count; ++i) {
        g_current = i;
        CSelfTestTarget::g_selfTestCase = i;
        printf("start %llu\n", static_cast<unsigned long long>(i));
        fflush(stdout);
        std::string what;
        ByteVector input = Mutate(target->Base(), target->Layout(), options.seed, i, what);
        TCaseResult result = target->Run(input, scratch);
        if (result.problem.empty())
            printf("pass %llu %s\n", static_cast<unsigned long long>(i), result.outcome.c_str());
        else
            printf("fail %llu %s | %s\n", static_cast<unsigned long long>(i), what.c_str(), result.problem.c_str());
        fflush(stdout);
    }
    printf("end\n");
    fflush(stdout);
    return 0;
}

// ---- the runner ----

class CWorker {
public:
    ~CWorker() { Stop(); }
    bool Start(const TOptions& options, uint64_t first, uint64_t count)
    {
        Stop();
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE write = nullptr;
        if (!CreatePipe(&m_read, &write, &inherit, 0))
            return false;
        SetHandleInformation(m_read, HANDLE_FLAG_INHERIT, 0);
        wchar_t program[MAX_PATH];
        GetModuleFileNameW(nullptr, program, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(program) + L"\" --worker " +
                            std::wstring(options.target.begin(), options.target.end()) + L" " +
                            std::to_wstring(count) + L" --first " + std::to_wstring(first) + L" --seed " +
                            std::to_wstring(options.seed);
        if (!options.base.empty())
            line += L" --base \"" + options.base + L"\"";
        STARTUPINFOW startup = {sizeof(startup)};
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        PROCESS_INFORMATION process = {};
        BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
        CloseHandle(write);
        if (!started)
            return false;
        CloseHandle(process.hThread);
        m_process = process.hProcess;
        m_pending.clear();
        return true;
    }
    // The next line, waiting up to `timeoutMs`; false on time-out or when the
    // worker ended and nothing is left.
    bool ReadLine(std::string& line, DWORD timeoutMs, bool& ended)
    {
        ended = false;
        DWORD start = GetTickCount();
        for (;;) {
            size_t newline = m_pending.find('\n');
            if (newline != std::string::npos) {
                line = m_pending.substr(0, newline);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                m_pending.erase(0, newline + 1);
                return true;
            }
            DWORD available = 0;
            if (!PeekNamedPipe(m_read, nullptr, 0, nullptr, &available, nullptr)) {
                ended = true; // the worker is gone and its output read
                return false;
            }
            if (available) {
                char buffer[4096];
                DWORD got = 0;
                if (ReadFile(m_read, buffer, available < sizeof(buffer) ? available : sizeof(buffer), &got, nullptr))
                    m_pending.append(buffer, got);
                continue;
            }
            if (GetTickCount() - start > timeoutMs)
                return false;
            Sleep(2);
        }
    }
    void Stop()
    {
        if (m_process) {
            TerminateProcess(m_process, 4);
            WaitForSingleObject(m_process, 10000);
            CloseHandle(m_process);
            m_process = nullptr;
        }
        if (m_read) {
            CloseHandle(m_read);
            m_read = nullptr;
        }
    }

private:
    HANDLE m_process = nullptr;
    HANDLE m_read = nullptr;
    std::string m_pending;
};

struct TTotals {
    uint64_t cases = 0, crashes = 0, hangs = 0, broken = 0;
    std::map<std::string, uint64_t> outcomes;
};

void SaveCase(const TOptions& options, CTarget& target, uint64_t index, const std::string& kind,
              const std::string& detail)
{
    fprintf(stderr, "%s: case %llu: %s\n", kind.c_str(), static_cast<unsigned long long>(index), detail.c_str());
    if (options.failures.empty())
        return;
    CreateDirectoryW(options.failures.c_str(), nullptr);
    std::string what;
    ByteVector input = Mutate(target.Base(), target.Layout(), options.seed, index, what);
    std::wstring name = options.failures + L"\\" + std::wstring(options.target.begin(), options.target.end()) + L"-" +
                        std::to_wstring(options.seed) + L"-" + std::to_wstring(index);
    WriteBytes(name + L".bin", input);
    std::string note = kind + "\n" + what + "\n" + detail + "\n";
    WriteBytes(name + L".txt", ByteVector(note.begin(), note.end()));
}

int RunCampaign(const TOptions& options)
{
    std::unique_ptr<CTarget> target = MakeTarget(options.target);
    std::string problem;
    if (!target->Prepare(options.base, problem)) {
        fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    TTotals totals;
    const uint64_t end = options.first + options.count;
    uint64_t next = options.first;
    CWorker worker;
    DWORD started = GetTickCount();
    while (next < end) {
        if (!worker.Start(options, next, end - next)) {
            fprintf(stderr, "cannot start the worker\n");
            return 1;
        }
        bool running = false; // a case was started and has not ended
        uint64_t current = next;
        std::string line;
        bool ended = false;
        for (;;) {
            if (!worker.ReadLine(line, options.limitSeconds * 1000, ended)) {
                if (!ended && running) {
                    ++totals.hangs;
                    ++totals.cases;
                    SaveCase(options, *target, current, "hang", "over " + std::to_string(options.limitSeconds) + " s");
                } else if (running) {
                    ++totals.crashes;
                    ++totals.cases;
                    SaveCase(options, *target, current, "crash", "the worker ended");
                } else if (ended) {
                    fprintf(stderr, "the worker ended before its first case\n");
                    return 1;
                } else {
                    continue; // preparing, slowly
                }
                next = current + 1;
                break;
            }
            unsigned long long index = 0;
            char rest[2048] = "";
            if (sscanf(line.c_str(), "start %llu", &index) == 1) {
                current = index;
                running = true;
            } else if (sscanf(line.c_str(), "pass %llu %2047[^\n]", &index, rest) >= 1) {
                running = false;
                ++totals.cases;
                ++totals.outcomes[rest];
                next = index + 1;
            } else if (sscanf(line.c_str(), "fail %llu %2047[^\n]", &index, rest) >= 1) {
                running = false;
                ++totals.cases;
                ++totals.broken;
                SaveCase(options, *target, index, "broken promise", rest);
                next = index + 1;
            } else if (sscanf(line.c_str(), "crash %llu %2047[^\n]", &index, rest) >= 1) {
                running = false;
                ++totals.cases;
                ++totals.crashes;
                SaveCase(options, *target, index, "crash", std::string("exception ") + rest);
                next = index + 1;
                break;
            } else if (line.compare(0, 6, "setup ") == 0) {
                fprintf(stderr, "%s\n", line.c_str());
                return 1;
            } else if (line == "end") {
                next = end;
                break;
            }
            if ((totals.cases % 1000) == 0 && !running && totals.cases)
                fprintf(stderr, "%s: %llu cases\n", options.target.c_str(), static_cast<unsigned long long>(totals.cases));
        }
        worker.Stop();
    }
    double seconds = (GetTickCount() - started) / 1000.0;
    printf("%s: %llu cases (seed %llu, from %llu) in %.0f s: %llu crashes, %llu hangs, %llu broken promises\n",
           options.target.c_str(), static_cast<unsigned long long>(totals.cases),
           static_cast<unsigned long long>(options.seed), static_cast<unsigned long long>(options.first), seconds,
           static_cast<unsigned long long>(totals.crashes), static_cast<unsigned long long>(totals.hangs),
           static_cast<unsigned long long>(totals.broken));
    for (const auto& outcome : totals.outcomes)
        printf("  %-28s %llu\n", outcome.first.c_str(), static_cast<unsigned long long>(outcome.second));
    return totals.crashes || totals.hangs || totals.broken ? 1 : 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    TOptions options;
    if (!ParseOptions(argc, argv, options)) {
        fputs(USAGE, stderr);
        return 2;
    }
    return options.worker ? RunWorker(options) : RunCampaign(options);
}
