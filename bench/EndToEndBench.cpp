// The whole user-visible run, driven through the wizard as the end-to-end
// tests do, and the same payload installed by an NSIS installer with /S.
//   end_to_end_bench.exe ours INSTALLER RUNS
//       medians: start to Finish enabled, Install (the settings page's Next)
//       to Finish, start to exit (seconds); uninstall to Finish, to removed
//       (seconds); the peak working set of the installer and of the
//       uninstaller (MB, read while Finish is offered)
//   end_to_end_bench.exe nsis INSTALLER FOLDER RUNS
//       median seconds: install (/S, to exit), uninstall (/S in place, to exit)
//   end_to_end_bench.exe startup INSTALLER TRIVIAL RUNS
//       median seconds: process start to the welcome page shown; a trivial program's whole run
#include <windows.h>
#include <prsht.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "WizardDriver.h"
#include "res/ResourceIds.h"

namespace {

const DWORD LIMIT_MS = 300000;
// Every look at the wizard asks its windows, through the server: looking
// every millisecond slowed the very run it timed. A figure is late by at
// most this much.
const DWORD POLL_MS = 4;

struct OurRun {
    double install, installClick, installExit, uninstall, removed, installPeak, uninstallPeak;
};

double Megabytes(size_t bytes)
{
    return static_cast<double>(bytes) / 1048576.0;
}

std::wstring Temp()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// With KXBENCH_TRACE set, the moments of a run go to stderr.
void Mark(const char* what, double start)
{
    if (GetEnvironmentVariableW(L"KXBENCH_TRACE", nullptr, 0))
        fprintf(stderr, "%8.3f %s\n", NowSeconds() - start, what);
}

bool RunOurs(const std::wstring& installer, OurRun& run)
{
    CWizardDriver driver(Temp() + L"kxbench-shots");
    driver.SetSettleTime(0);
    driver.SetPollInterval(POLL_MS);
    std::wstring folder;
    double start = NowSeconds();
    if (!driver.Start(installer))
        return false;
    // Title "<product> Setup": the sample's.
    if (!driver.WaitForSheet(L"Kestrel Trader Setup", LIMIT_MS))
        return false;
    Mark("sheet", start);
    if (!driver.WaitForPage(IDC_INTRO))
        return false;
    Mark("page", start);
    if (!driver.WaitForButton(ID_WIZNEXT, true))
        return false;
    Mark("welcome", start);
    driver.Press(PSBTN_NEXT);
    HWND license = driver.WaitForPage(IDC_LICENSE_TEXT);
    if (!license)
        return false;
    Mark("licence", start);
    driver.Click(license, IDC_AGREE);
    driver.WaitForButton(ID_WIZNEXT, true);
    driver.Press(PSBTN_NEXT);
    HWND settings = driver.WaitForPage(IDC_FOLDER);
    if (!settings)
        return false;
    Mark("settings", start);
    folder = driver.ItemText(settings, IDC_FOLDER);
    driver.Click(settings, 270); // no launch at Finish
    // The Install click: the settings page's Next starts the installation.
    double click = NowSeconds();
    driver.Press(PSBTN_NEXT);
    if (!driver.WaitForPage(IDC_STEP_LIST))
        return false;
    Mark("progress", start);
    if (!driver.WaitForButton(ID_WIZFINISH, true, LIMIT_MS))
        return false;
    Mark("finish", start);
    run.install = NowSeconds() - start;
    run.installClick = NowSeconds() - click;
    run.installPeak = Megabytes(GetPeakWorkingSet(driver.Process()));
    driver.Press(PSBTN_FINISH);
    DWORD code = 0;
    if (!driver.WaitForExit(LIMIT_MS, &code))
        return false;
    run.installExit = NowSeconds() - start;

    start = NowSeconds();
    if (!driver.Start(folder + L"\\Uninstall.exe") || !driver.WaitForSheet(L"Kestrel Trader Uninstall", LIMIT_MS))
        return false;
    HWND welcome = driver.WaitForPage(IDC_DELETE_DATA);
    if (!welcome)
        return false;
    driver.Click(welcome, IDC_DELETE_DATA);
    driver.Press(PSBTN_NEXT);
    if (!driver.WaitForPage(IDC_STEP_LIST) || !driver.WaitForButton(ID_WIZFINISH, true, LIMIT_MS))
        return false;
    run.uninstall = NowSeconds() - start;
    run.uninstallPeak = Megabytes(GetPeakWorkingSet(driver.Process()));
    driver.Press(PSBTN_FINISH);
    if (!driver.WaitForExit(LIMIT_MS, &code) ||
        !CWizardDriver::WaitUntil([&] { return !Exists(folder); }, LIMIT_MS, POLL_MS))
        return false;
    run.removed = NowSeconds() - start;
    return true;
}

// Runs a command line and waits for it; seconds, or -1.
double TimeProcess(const std::wstring& commandLine)
{
    std::wstring line = commandLine;
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    double start = NowSeconds();
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, LIMIT_MS);
    double seconds = NowSeconds() - start;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return seconds;
}

int Ours(const std::wstring& installer, int runs)
{
    std::vector<double> install, installClick, installExit, uninstall, removed, installPeak, uninstallPeak;
    for (int i = 0; i < runs; ++i) {
        OurRun run = {};
        if (!RunOurs(installer, run)) {
            fprintf(stderr, "run %d failed\n", i);
            return 1;
        }
        install.push_back(run.install);
        installClick.push_back(run.installClick);
        installExit.push_back(run.installExit);
        uninstall.push_back(run.uninstall);
        removed.push_back(run.removed);
        installPeak.push_back(run.installPeak);
        uninstallPeak.push_back(run.uninstallPeak);
    }
    printf("%f %f %f %f %f %.1f %.1f\n", Median(install), Median(installClick), Median(installExit), Median(uninstall),
           Median(removed), Median(installPeak), Median(uninstallPeak));
    return 0;
}

int Nsis(const std::wstring& installer, const std::wstring& folder, int runs)
{
    std::vector<double> install, uninstall;
    for (int i = 0; i < runs; ++i) {
        double in = TimeProcess(L"\"" + installer + L"\" /S /D=" + folder);
        // In place (_?=), so that the uninstaller does not copy itself away and return at once.
        double out = TimeProcess(L"\"" + folder + L"\\Uninstall.exe\" /S _?=" + folder);
        if (in < 0 || out < 0 || Exists(folder + L"\\terminal.exe")) {
            fprintf(stderr, "NSIS run %d failed\n", i);
            return 1;
        }
        // The uninstaller ran in place and could not delete itself.
        DeleteFileW((folder + L"\\Uninstall.exe").c_str());
        RemoveDirectoryW(folder.c_str());
        install.push_back(in);
        uninstall.push_back(out);
    }
    printf("%f %f\n", Median(install), Median(uninstall));
    return 0;
}

int Startup(const std::wstring& installer, const std::wstring& trivial, int runs)
{

    std::vector<double> shown, baseline;
    for (int i = 0; i < runs; ++i) {
        baseline.push_back(TimeProcess(L"\"" + trivial + L"\""));
        CWizardDriver driver(Temp() + L"kxbench-shots");
        driver.SetSettleTime(0);
        driver.SetPollInterval(POLL_MS);
        double start = NowSeconds();
        if (!driver.Start(installer) || !driver.WaitForSheet(L"Kestrel Trader Setup", LIMIT_MS) ||
            !driver.WaitForPage(IDC_INTRO))
            return 1;
        shown.push_back(NowSeconds() - start);
        driver.Kill();
    }
    printf("%f %f\n", Median(shown), Median(baseline));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"ours" && argc == 4)
        return Ours(argv[2], _wtoi(argv[3]));
    if (mode == L"nsis" && argc == 5)
        return Nsis(argv[2], argv[3], _wtoi(argv[4]));
    if (mode == L"startup" && argc == 5)
        return Startup(argv[2], argv[3], _wtoi(argv[4]));
    fprintf(stderr, "usage: end_to_end_bench ours INSTALLER RUNS | nsis INSTALLER FOLDER RUNS | "
                    "startup INSTALLER TRIVIAL RUNS\n");
    return 2;
}
