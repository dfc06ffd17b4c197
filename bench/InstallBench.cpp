// A whole installation by the engine, step by step and as one run; the
// medians of each step and of the whole.
//   install_bench.exe INSTALLER RUNS
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <vector>

#include "BenchUtil.h"
#include "app/Startup.h"
#include "archive/Extract.h"
#include "base/FileSystem.h"
#include "install/InstallEngine.h"
#include "install/Registration.h"
#include "state/State.h"

namespace {

const char* const STEPS[] = {"folder", "program group", "extract files", "custom files", "desktop shortcut",
                             "Uninstall.exe", "first start", "whole run"};
const int STEP_COUNT = sizeof(STEPS) / sizeof(STEPS[0]);

// Reports go nowhere: the page's cost is measured end to end.
class CNoReport : public CRunReport {
public:
    void StepStarted(unsigned) override {}
    void StepDone(unsigned) override {}
    void StepFailed(unsigned) override {}
    void StepProgress(unsigned, uint64_t, uint64_t) override {}
    void Error(DWORD code) override { fprintf(stderr, "error %lu\n", static_cast<unsigned long>(code)); }
    void Warning(unsigned) override {}
    void Finished(bool) override {}
};

void Clean(const CInstallEngine& engine, const CPathList& extracted)
{
    for (unsigned i = 0; i < extracted.GetCount(); ++i)
        DeleteFileW(extracted[i]);
    // The created files include the group's shortcuts.
    for (unsigned i = 0; i < engine.GetCreatedFiles().GetCount(); ++i)
        DeleteFileW(engine.GetCreatedFiles()[i]);
    RemoveDirectoryW(engine.GetProgramGroupPath());
    DeleteFolderTree(engine.GetSettings().folder, L"*.*", true, true);
    TStrStatic<MAX_PATH> key;
    FormatUninstallKey(key);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3 || !LoadPackageAndNames(argv[1])) {
        fprintf(stderr, "usage: install_bench INSTALLER RUNS (the installer must load)\n");
        return 2;
    }
    CoInitialize(nullptr);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    TInstallSettings settings;
    settings.folder.Format(L"%skxbench-install\\%s", temp, ProgramName.GetString());
    settings.group.Format(L"KxBench %s", ProgramName.GetString());
    settings.createDesktopShortcut = true;

    CNoReport report;
    std::vector<std::vector<double>> times(STEP_COUNT);
    for (int run = 0; run < _wtoi(argv[2]); ++run) {
        // Step by step...
        {
            CInstallEngine engine(Package, report);
            engine.SetSettings(settings);
            engine.SetSourceProgram(argv[1]);
            CPathList files;
            Clean(engine, files);
            double t0 = NowSeconds();
            EnsureFolder(settings.folder);
            double t1 = NowSeconds();
            engine.CreateProgramGroup();
            double t2 = NowSeconds();
            ExtractSetupArchive(Package, settings.folder, files);
            double t3 = NowSeconds();
            ExtractCustomArchive(Package, settings.folder, files);
            double t4 = NowSeconds();
            engine.AddDesktopLink();
            double t5 = NowSeconds();
            engine.CreateUninstaller();
            double t6 = NowSeconds();
            engine.RunFirstStart(engine.GetMainProgramPath());
            double t7 = NowSeconds();
            double marks[] = {t0, t1, t2, t3, t4, t5, t6, t7};
            for (int step = 0; step < STEP_COUNT - 1; ++step)
                times[step].push_back(marks[step + 1] - marks[step]);
            Clean(engine, files);
        }
        // ...and the engine's own run.
        CInstallEngine engine(Package, report);
        engine.SetSettings(settings);
        engine.SetSourceProgram(argv[1]);
        double start = NowSeconds();
        engine.RunInstall();
        times[STEP_COUNT - 1].push_back(NowSeconds() - start);
        CPathList none;
        Clean(engine, none);
    }
    for (int step = 0; step < STEP_COUNT; ++step)
        printf("%s\t%f\n", STEPS[step], Median(times[step]));
    CoUninitialize();
    return 0;
}
