// InstallPackage::Load of installers with large archive records: time
// against reading the same file into memory, and peak memory against the
// file size. Each measurement runs in a fresh process, so that its peak is
// its own.
//   load_bench.exe [MB ...]      (default: 14 120)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "base/BinFile.h"
#include "package/InstallPackage.h"

namespace {

const int RUNS = 5;

std::wstring PackagePath(unsigned megabytes)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"kxbench-load-" + std::to_wstring(megabytes) + L"mb.exe";
}

// A stand-in image, a small licence container and a core container whose
// archive record has the given size (incompressible bytes: the content does
// not matter to Load).
bool MakePackage(const std::wstring& path, unsigned megabytes)
{
    CBinFile file;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    if (!file.OpenWrite(path.c_str()))
        return false;
    uint8_t image[DOS_HEADER_BYTES] = {'M', 'Z'};
    uint32_t offset = DOS_HEADER_BYTES;
    memcpy(image + PACKAGE_OFFSET_FIELD, &offset, 4);
    file.Write(image, sizeof(image));

    CTermLicContainer license;
    license.Init(CONTAINER_LICENSE);
    license.AddRecord(RECORD_CONFIG, "configuration", 13);
    std::vector<uint8_t> archive(static_cast<size_t>(megabytes) << 20);
    uint32_t state = 12345;
    for (auto& byte : archive) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    CTermCoreContainer core;
    core.Init(CONTAINER_CORE);
    core.AddRecord(RECORD_ARCHIVE, archive.data(), static_cast<uint32_t>(archive.size()));
    return license.Write(file) && core.Write(file);
}

// Child modes print "<seconds> <peak working set after> <before>".
int Measure(const wchar_t* mode, const wchar_t* path)
{
    // Both are timed up to the data being in memory; freeing is not timed.
    InstallPackage package;
    CBinFile file;
    uint8_t* bytes = nullptr;
    MemoryPeak before = GetMemoryPeak();
    double start = NowSeconds();
    bool ok;
    if (wcscmp(mode, L"load") == 0) {
        ok = package.Load(path);
    } else {
        ok = file.OpenRead(path);
        unsigned size = static_cast<unsigned>(file.GetSize());
        bytes = static_cast<uint8_t*>(malloc(size));
        ok = ok && bytes && file.Read(bytes, size) == size;
    }
    double seconds = NowSeconds() - start;
    MemoryPeak after = GetMemoryPeak();
    free(bytes);
    if (!ok)
        return 1;
    printf("%f %lu %lu\n", seconds, static_cast<unsigned long>(after.workingSet),
           static_cast<unsigned long>(before.workingSet));
    return 0;
}

struct Figures {
    double seconds;
    double workingSetGrowth;
};

Figures MeasureMedian(const wchar_t* mode, const std::wstring& path)
{
    std::vector<double> seconds, workingSet;
    for (int run = 0; run < RUNS; ++run) {
        std::string line = RunSelf(std::wstring(L"--measure ") + mode + L" \"" + path + L"\"");
        double s = 0;
        unsigned long ws = 0, ws0 = 0;
        if (sscanf(line.c_str(), "%lf %lu %lu", &s, &ws, &ws0) != 3) {
            fprintf(stderr, "measurement failed: '%s'\n", line.c_str());
            exit(1);
        }
        seconds.push_back(s);
        workingSet.push_back(static_cast<double>(ws - ws0));
    }
    return {Median(seconds), Median(workingSet)};
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && wcscmp(argv[1], L"--measure") == 0)
        return Measure(argv[2], argv[3]);
    std::vector<unsigned> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(static_cast<unsigned>(_wtoi(argv[i])));
    if (sizes.empty())
        sizes = {14, 120};

    printf("InstallPackage::Load against reading the file into memory (median of %d fresh processes)\n", RUNS);
    printf("%-8s %10s %10s %10s %8s %16s %10s\n", "archive", "file MB", "read ms", "load ms",
           "ratio", "peak growth MB", "vs file");
    for (unsigned megabytes : sizes) {
        std::wstring path = PackagePath(megabytes);
        if (!MakePackage(path, megabytes)) {
            fprintf(stderr, "cannot write %ls\n", path.c_str());
            return 1;
        }
        CBinFile file;
        file.OpenRead(path.c_str());
        double fileMb = static_cast<double>(file.GetSize()) / (1 << 20);
        file.Close();
        Figures read = MeasureMedian(L"read", path);
        Figures load = MeasureMedian(L"load", path);
        printf("%5u MB %10.1f %10.1f %10.1f %7.2fx %16.1f %9.2fx\n", megabytes, fileMb,
               read.seconds * 1e3, load.seconds * 1e3, load.seconds / read.seconds,
               load.workingSetGrowth / (1 << 20), load.workingSetGrowth / (fileMb * (1 << 20)));
        DeleteFileW(path.c_str());
    }
    return 0;
}
