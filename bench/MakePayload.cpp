// Writes a deterministic program folder for the extraction benchmarks and
// zips it the way kxpack does:
//   make_payload OUTDIR MEGABYTES [--no-zip] [--files N]  ->  OUTDIR/program/..., OUTDIR/payload.zip
// Several hundred files in nested folders, a few of them over 10 MB; half of
// the bytes compress well (text), half not at all (random). --files makes
// the small and middling files larger, so that there are about N in all.
//
// Two products at the limits of what an edition installs, made without
// ever holding a file in memory:
//   make_payload OUTDIR MEGABYTES --no-zip --large-files
//       files of 512 MiB (3584 gives seven, 3.5 GiB): all random but the
//       last, which is text, so that the installer stays under 4 GiB
//   make_payload OUTDIR 0 [--no-zip] --small-files N
//       N files of 1 to 8 KB, half text, half random, 100 to a folder in
//       two levels of folders (70000 gives 70,770 entries: ZIP64)
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib/FileIo.h"
#include "lib/ProgramFolder.h"

namespace {

struct Random {
    uint64_t state;
    uint64_t Next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    size_t Below(size_t limit) { return static_cast<size_t>(Next() % limit); }
};

const char* const WORDS[] = {"order", "price", "market", "limit", "stop", "volume", "chart",
                             "quote", "account", "balance", "trade", "symbol", "position",
                             "close", "open", "high", "low", "spread", "margin", "\n"};

Bytes Content(Random& random, size_t size, bool text)
{
    Bytes data;
    data.reserve(size);
    while (data.size() < size) {
        if (text) {
            const char* word = WORDS[random.Below(sizeof(WORDS) / sizeof(WORDS[0]))];
            data.insert(data.end(), word, word + strlen(word));
            data.push_back(' ');
        } else {
            uint64_t value = random.Next();
            Append(data, &value, sizeof(value));
        }
    }
    data.resize(size);
    return data;
}

void MakeFolders(const std::string& path)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
    mkdir(path.c_str(), 0755);
}

bool WriteFile(const std::string& path, const Bytes& data)
{
    std::string error;
    CAtomicFile file;
    if (!file.Open(path, 0644, error) || !file.Write(data, error) || !file.Commit(error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

// Files of 512 MiB, written a few megabytes at a time.
int MakeLargeFiles(const std::string& program, uint64_t total)
{
    const uint64_t FILE_BYTES = 512u << 20;
    const size_t PIECE = 4u << 20;
    uint64_t count = std::max<uint64_t>(1, total / FILE_BYTES);
    Random random{0x2545F4914F6CDD1Dull};
    MakeFolders(program + "/data");
    for (uint64_t i = 0; i < count; ++i) {
        bool text = i + 1 == count && count > 1;
        std::string path = program + "/data/volume" + std::to_string(i) + (text ? ".txt" : ".bin");
        std::string error;
        CAtomicFile file;
        if (!file.Open(path, 0644, error)) {
            fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        for (uint64_t written = 0; written < FILE_BYTES; written += PIECE) {
            if (!file.Write(Content(random, PIECE, text), error)) {
                fprintf(stderr, "%s\n", error.c_str());
                return 1;
            }
        }
        if (!file.Commit(error)) {
            fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    printf("%llu files, %.1f MB\n", static_cast<unsigned long long>(count),
           static_cast<double>(count * FILE_BYTES) / (1 << 20));
    return 0;
}

// A small file written plainly: a synced, renamed file each would take
// most of the time for tens of thousands of them.
bool WriteSmallFile(const std::string& path, const Bytes& data)
{
    FILE* file = fopen(path.c_str(), "wb");
    bool written = file && fwrite(data.data(), 1, data.size(), file) == data.size();
    if (file && fclose(file) != 0)
        written = false;
    if (!written)
        fprintf(stderr, "%s: %s\n", path.c_str(), strerror(errno));
    return written;
}

// Many small files: 100 to a folder, ten folders to a group.
bool MakeSmallFiles(const std::string& program, size_t count, uint64_t& bytes)
{
    Random random{0xD1B54A32D192ED03ull};
    bytes = 0;
    std::string folder;
    for (size_t i = 0; i < count; ++i) {
        char name[64];
        snprintf(name, sizeof(name), "/pkg%03zu/set%zu", i / 1000, i / 100 % 10);
        if (folder != name) {
            folder = name;
            MakeFolders(program + folder);
        }
        size_t size = 1000 + random.Below(7192);
        snprintf(name, sizeof(name), "/item%06zu.%s", i, i % 2 ? "dat" : "txt");
        if (!WriteSmallFile(program + folder + name, Content(random, size, i % 2 == 0)))
            return false;
        bytes += size;
    }
    return true;
}

// The benchmarks' payload: a few large files, then small and middling
// ones up to `total` bytes.
bool MakeMixedFiles(const std::string& program, uint64_t total, size_t files, size_t& count, uint64_t& planned)
{
    Random random{0x9E3779B97F4A7C15ull};
    const char* folders[] = {"", "bin", "bin/plugins", "data", "data/history/2025", "data/history/2026",
                             "docs", "docs/images", "lang", "templates/charts/default"};
    for (const char* folder : folders)
        MakeFolders(program + "/" + folder);

    // Four large files first, then small and middling ones until the total is reached.
    std::vector<size_t> sizes = {14u << 20, 12u << 20, 11u << 20, 10u << 20 | 12345};
    for (size_t size : sizes)
        planned += size;
    // The files below have 128,375 bytes on average.
    double scale = 1;
    if (files > sizes.size() && total > planned)
        scale = std::max(1.0, static_cast<double>(total - planned) / (128375.0 * static_cast<double>(files - sizes.size())));
    while (planned < total) {
        size_t size = random.Below(8) == 0 ? 200000 + random.Below(800000) : 1000 + random.Below(120000);
        size = static_cast<size_t>(static_cast<double>(size) * scale);
        size = static_cast<size_t>(std::min<uint64_t>(size, total - planned));
        sizes.push_back(size);
        planned += size;
    }
    for (size_t i = 0; i < sizes.size(); ++i) {
        std::string folder = folders[i % (sizeof(folders) / sizeof(folders[0]))];
        std::string path = program + (folder.empty() ? "" : "/" + folder) + "/file" + std::to_string(i) +
                           (i % 2 ? ".dat" : ".txt");
        if (!WriteFile(path, Content(random, sizes[i], i % 2 == 0)))
            return false;
    }
    count = sizes.size();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bool zipIt = true, usage = argc < 3, large = false;
    size_t files = 0, smallFiles = 0;
    for (int i = 3; i < argc; ++i) {
        if (std::string(argv[i]) == "--no-zip")
            zipIt = false;
        else if (std::string(argv[i]) == "--files" && i + 1 < argc)
            files = strtoul(argv[++i], nullptr, 10);
        else if (std::string(argv[i]) == "--large-files")
            large = true;
        else if (std::string(argv[i]) == "--small-files" && i + 1 < argc)
            smallFiles = strtoul(argv[++i], nullptr, 10);
        else
            usage = true;
    }
    // The large product is not zipped here: that would hold it in memory.
    if (usage || (large && (zipIt || files || smallFiles)) || (smallFiles && files)) {
        fprintf(stderr, "usage: make_payload OUTDIR MEGABYTES [--no-zip] [--files N]\n"
                        "       make_payload OUTDIR MEGABYTES --no-zip --large-files\n"
                        "       make_payload OUTDIR 0 [--no-zip] --small-files N\n");
        return 2;
    }
    std::string out = argv[1];
    uint64_t total = strtoull(argv[2], nullptr, 10) << 20;
    std::string program = out + "/program";
    if (system(("rm -rf '" + program + "'").c_str()) != 0)
        return 1;
    MakeFolders(program);
    if (large)
        return MakeLargeFiles(program, total);
    uint64_t planned = 0;
    size_t count = 0;
    if (smallFiles) {
        if (!MakeSmallFiles(program, smallFiles, planned))
            return 1;
        count = smallFiles;
    } else if (!MakeMixedFiles(program, total, files, count, planned)) {
        return 1;
    }

    if (!zipIt) {
        printf("%zu files, %.1f MB\n", count, static_cast<double>(planned) / (1 << 20));
        return 0;
    }
    Bytes zip;
    std::string error;
    if (!ZipFolder(program, 315532800, zip, error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CAtomicFile file;
    if (!file.Open(out + "/payload.zip", 0644, error) || !file.Write(zip, error) || !file.Commit(error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    printf("%zu files, %.1f MB, zipped %.1f MB\n", count, static_cast<double>(planned) / (1 << 20),
           static_cast<double>(zip.size()) / (1 << 20));
    return 0;
}
