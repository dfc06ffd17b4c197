// ExtractSetupArchive of an installer's program archive into a fresh folder,
// repeated; prints "<median seconds> <bytes written> <files> <peak MB>".
//   extract_bench.exe INSTALLER RUNS [FOLDER]
// Each run extracts into a folder of its own below FOLDER (default: the
// temporary folder), and nothing is deleted until every run is done: a file
// system without a journal skips inodes freed in the last seconds, so
// creating files right after deleting many costs far more than either.
#include <cstdio>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "archive/Extract.h"
#include "base/FileSystem.h"
#include "package/InstallPackage.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: extract_bench INSTALLER RUNS [FOLDER]\n");
        return 2;
    }
    InstallPackage package;
    if (!package.Load(argv[1])) {
        fprintf(stderr, "cannot load %ls\n", argv[1]);
        return 1;
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring base = argc == 4 ? std::wstring(argv[3]) : std::wstring(temp) + L"kxbench-extract";
    std::vector<double> times;
    unsigned files = 0;
    unsigned long long bytes = 0;
    int runs = _wtoi(argv[2]);
    for (int run = 0; run < runs; ++run) {
        std::wstring folder = base + L"\\run" + std::to_wstring(run);
        DeleteFolderTree(folder.c_str(), L"*.*", true, true);
        EnsureFolder(folder.c_str());
        CPathList created;
        double start = NowSeconds();
        bool ok = ExtractSetupArchive(package, folder.c_str(), created);
        times.push_back(NowSeconds() - start);
        if (!ok) {
            fprintf(stderr, "extraction failed (%lu)\n", GetLastError());
            return 1;
        }
        files = created.GetCount();
        if (run == 0) {
            for (unsigned i = 0; i < created.GetCount(); ++i) {
                WIN32_FILE_ATTRIBUTE_DATA data;
                if (GetFileAttributesExW(created[i], GetFileExInfoStandard, &data))
                    bytes += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            }
        }
    }
    DeleteFolderTree(base.c_str(), L"*.*", true, true);
    printf("%f %llu %u %.1f\n", Median(times), bytes, files, GetMemoryPeak().workingSet / 1048576.0);
    return 0;
}
