// Writes a deterministic program folder for the extraction benchmarks and
// zips it the way kxpack does:
//   make_payload OUTDIR MEGABYTES [--no-zip] [--files N]  ->  OUTDIR/program/..., OUTDIR/payload.zip
// Several hundred files in nested folders, a few of them over 10 MB; half of
// the bytes compress well (text), half not at all (random). --files makes
// the small and middling files larger, so that there are about N in all.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
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

} // namespace

int main(int argc, char** argv)
{
    bool zipIt = true, usage = argc < 3;
    size_t files = 0;
    for (int i = 3; i < argc; ++i) {
        if (std::string(argv[i]) == "--no-zip")
            zipIt = false;
        else if (std::string(argv[i]) == "--files" && i + 1 < argc)
            files = strtoul(argv[++i], nullptr, 10);
        else
            usage = true;
    }
    if (usage) {
        fprintf(stderr, "usage: make_payload OUTDIR MEGABYTES [--no-zip] [--files N]\n");
        return 2;
    }
    std::string out = argv[1];
    uint64_t total = strtoull(argv[2], nullptr, 10) << 20;
    std::string program = out + "/program";
    if (system(("rm -rf '" + program + "'").c_str()) != 0)
        return 1;
    MakeFolders(program);

    Random random{0x9E3779B97F4A7C15ull};
    const char* folders[] = {"", "bin", "bin/plugins", "data", "data/history/2025", "data/history/2026",
                             "docs", "docs/images", "lang", "templates/charts/default"};
    for (const char* folder : folders)
        MakeFolders(program + "/" + folder);

    // Four large files first, then small and middling ones until the total is reached.
    std::vector<size_t> sizes = {14u << 20, 12u << 20, 11u << 20, 10u << 20 | 12345};
    uint64_t planned = 0;
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
        Bytes data = Content(random, sizes[i], i % 2 == 0);
        std::string error;
        CAtomicFile file;
        if (!file.Open(path, 0644, error) || !file.Write(data, error) || !file.Commit(error)) {
            fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }

    if (!zipIt) {
        printf("%zu files, %.1f MB\n", sizes.size(), static_cast<double>(planned) / (1 << 20));
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
    printf("%zu files, %.1f MB, zipped %.1f MB\n", sizes.size(), static_cast<double>(planned) / (1 << 20),
           static_cast<double>(zip.size()) / (1 << 20));
    return 0;
}
