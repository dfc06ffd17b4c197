// A whole installation by the worker, step by step, against a window with
// the install page's step list; the medians of each step and of the whole.
//   install_bench.exe INSTALLER RUNS
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <vector>

#include "BenchUtil.h"
#include "app/Globals.h"
#include "app/Startup.h"
#include "base/FileSystem.h"
#include "install/InstallWorker.h"

namespace {

const char* const STEPS[] = {"folder", "program group", "extract files", "custom files", "desktop shortcut",
                             "Uninstall.exe", "first start", "whole run"};
const int STEP_COUNT = sizeof(STEPS) / sizeof(STEPS[0]);

void Clean(CInstallWorker& worker)
{
    // The created files include the group's shortcuts.
    for (unsigned i = 0; i < worker.GetCreatedFiles().GetCount(); ++i)
        DeleteFileW(worker.GetCreatedFiles()[i]);
    RemoveDirectoryW(ProgramGroupPath);
    DeleteFolderTree(InstallFolder, L"*.*", true, true);
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
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HWND sheet = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND page = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, sheet, nullptr, nullptr, nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_LIST, 0, 0, 10, 10, page, nullptr, nullptr, nullptr);
    HWND status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, page, nullptr, nullptr, nullptr);
    for (int row = 0; row < 4; ++row) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(L"step");
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    InstallFolder.Format(L"%skxbench-install\\%s", temp, ProgramName.GetString());
    ProgramGroup.Format(L"KxBench %s", ProgramName.GetString());
    CreateDesktopShortcut = 1;

    std::vector<std::vector<double>> times(STEP_COUNT);
    for (int run = 0; run < _wtoi(argv[2]); ++run) {
        // Step by step...
        {
            CInstallWorker worker;
            worker.SetSourceProgram(argv[1]);
            worker.AttachWindows(page, list, status);
            Clean(worker);
            double t0 = NowSeconds();
            EnsureFolder(InstallFolder);
            double t1 = NowSeconds();
            worker.CreateProgramGroup();
            double t2 = NowSeconds();
            CPathList files;
            ExtractSetupArchive(Package, InstallFolder, files);
            double t3 = NowSeconds();
            ExtractCustomArchive(Package, InstallFolder, files);
            double t4 = NowSeconds();
            worker.AddDesktopLink();
            double t5 = NowSeconds();
            worker.CreateUninstaller();
            double t6 = NowSeconds();
            worker.RunFirstStart(MainProgramPath);
            double t7 = NowSeconds();
            double marks[] = {t0, t1, t2, t3, t4, t5, t6, t7};
            for (int step = 0; step < STEP_COUNT - 1; ++step)
                times[step].push_back(marks[step + 1] - marks[step]);
            for (unsigned i = 0; i < files.GetCount(); ++i)
                DeleteFileW(files[i]);
            Clean(worker);
        }
        // ...and the worker's own run.
        CInstallWorker worker;
        worker.SetSourceProgram(argv[1]);
        worker.AttachWindows(page, list, status);
        double start = NowSeconds();
        worker.RunInstall();
        times[STEP_COUNT - 1].push_back(NowSeconds() - start);
        Clean(worker);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    for (int step = 0; step < STEP_COUNT; ++step)
        printf("%s\t%f\n", STEPS[step], Median(times[step]));
    DestroyWindow(sheet);
    CoUninitialize();
    return 0;
}
