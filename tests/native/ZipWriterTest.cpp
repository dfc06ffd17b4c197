// The archives kxpack writes: the bytes of those that need no ZIP64 never
// change, ZIP64 fields stand only where a value needs them and read back by
// the setup program's own rules, and a file of 4 GiB goes through without
// memory of its size.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>

#include "ToolRunner.h"
#include "archive/ZipFormat.h"
#include "lib/ArchiveBytes.h"
#include "lib/ByteSource.h"
#include "lib/ZipHeaders.h"
#include "lib/ZipVerify.h"
#include "lib/ZipWriter.h"

namespace {

std::string Noise(size_t size, uint32_t seed)
{
    std::string out(size, 0);
    for (auto& ch : out) {
        seed = seed * 1103515245 + 12345;
        ch = static_cast<char>(seed >> 23);
    }
    return out;
}

std::string Lines(size_t size)
{
    std::string text;
    while (text.size() < size)
        text += "line " + std::to_string(text.size()) + "\n";
    text.resize(size);
    return text;
}

std::string Sha256(const Bytes& data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    char two[3];
    for (unsigned i = 0; i < length; ++i) {
        snprintf(two, sizeof(two), "%02x", digest[i]);
        hex += two;
    }
    return hex;
}

ZipSource FileEntry(const CScratchFolder& dir, const std::string& name, const std::string& content)
{
    ZipSource source;
    source.name = name;
    source.path = dir / std::to_string(std::hash<std::string>()(name));
    source.size = content.size();
    WriteText(source.path, content);
    return source;
}

ZipSource MemoryEntry(const std::string& name, const std::string& content)
{
    ZipSource source;
    source.name = name;
    source.data.assign(content.begin(), content.end());
    source.size = content.size();
    return source;
}

ZipSource FolderEntry(const std::string& name)
{
    ZipSource source;
    source.name = name;
    return source;
}

ZipProblem ReadEnd(const Bytes& zip, TZipDirectory& directory)
{
    size_t tail = std::min(zip.size(), ZIP_TAIL_BYTES);
    return ReadZipDirectory(zip.data() + zip.size() - tail, tail, zip.size(), directory);
}

// The archive kxpack wrote for these entries before it could write ZIP64,
// as its SHA-256: every kind of entry it makes (folder, empty file, text
// deflated past the first megabyte, random data stored after it, a small
// file stored because deflating does not shrink it, bytes from memory, a
// file of exactly the probe's size). An archive that needs no ZIP64 keeps
// these bytes, whether its files are held in memory or streamed.
TEST(ZipWriterTest, ArchivesThatNeedNoZip64KeepTheirBytes)
{
    CScratchFolder dir;
    std::vector<ZipSource> entries = {
        FolderEntry("bin/"),
        FileEntry(dir, "bin/app.exe", Lines((3u << 20) + 17)),
        FileEntry(dir, "bin/empty.dat", ""),
        FileEntry(dir, "data/noise.bin", Noise((3u << 20) + 5, 7)),
        FileEntry(dir, "data/small.bin", Noise(500, 3)),
        MemoryEntry("data/tiny.txt", "hello"),
        FolderEntry("docs/"),
        FileEntry(dir, "probe.txt", Lines(1u << 20)),
    };
    for (uint64_t streamBytes : {ZipWriteOptions().streamBytes, uint64_t(0), uint64_t(1) << 20}) {
        SCOPED_TRACE("files over " + std::to_string(streamBytes) + " bytes streamed");
        ZipWriteOptions options;
        options.streamBytes = streamBytes;
        options.scratchFolder = dir.Path();
        Bytes zip;
        CMemorySink sink(zip);
        std::string error;
        ASSERT_TRUE(WriteZip(entries, 1700000000, "test", options, sink, error)) << error;
        EXPECT_EQ(4048185u, zip.size());
        EXPECT_EQ("f84f02b1e2cc4ac28ed5f1c8eab4778eb1050cfe1c51b23174a53a2e5b243312", Sha256(zip));
    }
    // The scratch files of deflated ones have no names: nothing is left.
    EXPECT_EQ(entries.size() - 3, dir.List().size());
}

// The end records change at 65,535 entries, where the end record's count
// becomes the mark; the archive reads back alike and verifies.
TEST(ZipWriterTest, Zip64EndRecordsFrom65535EntriesOn)
{
    for (size_t count : {size_t(65534), size_t(65535)}) {
        SCOPED_TRACE(count);
        std::vector<ZipSource> entries = {MemoryEntry("app.exe", "MZ program")};
        char name[32];
        for (size_t i = 1; i < count; ++i) {
            snprintf(name, sizeof(name), "f%05zu/", i);
            entries.push_back(FolderEntry(name));
        }
        Bytes zip;
        CMemorySink sink(zip);
        std::string error;
        ASSERT_TRUE(WriteZip(entries, 0, "test", sink, error)) << error;
        bool zip64 = count >= 65535;
        TZipDirectory directory;
        ASSERT_EQ(ZipProblem::None, ReadEnd(zip, directory));
        EXPECT_EQ(zip64, directory.zip64);
        EXPECT_EQ(count, directory.entries);
        const uint8_t* end = zip.data() + zip.size() - ZIP_END_BYTES;
        EXPECT_EQ(zip64 ? 0xFFFFu : count, ReadU16(end + 10));
        EXPECT_EQ(zip64, ReadU32(end - ZIP64_LOCATOR_BYTES) == ZIP64_LOCATOR_SIGNATURE);
        ZipCheck check;
        VerifyZip(CArchiveBytes(zip.data(), zip.size()), 0, check);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
        EXPECT_EQ(count, check.entries.size());
    }
}

// Each header's ZIP64 field holds just the values that do not fit 32 bits,
// and the setup program's reader takes the same values back.
TEST(ZipWriterTest, Zip64FieldsHoldOnlyTheWideValues)
{
    const uint64_t GIB4 = uint64_t(1) << 32;
    struct Case {
        uint64_t size, packedSize, offset;
    };
    for (const Case& c : {Case{5, 5, 0}, Case{GIB4 + 5, 0x2000, 0}, Case{0xFFFFFFFF, 0xFFFFFFFF, 0x123456789},
                          Case{10, 10, 0xFFFFFFFF}, Case{GIB4, GIB4 + 1, GIB4 + 2}}) {
        SCOPED_TRACE(std::to_string(c.size) + " " + std::to_string(c.packedSize) + " " + std::to_string(c.offset));
        ZipHeaderFields fields;
        fields.name = "big.bin";
        fields.method = ZIP_METHOD_DEFLATED;
        fields.crc = 0x12345678;
        fields.size = c.size;
        fields.packedSize = c.packedSize;
        fields.offset = c.offset;
        Bytes central;
        AppendZipCentralHeader(fields, central);
        TZipEntry entry;
        size_t bytes = 0;
        ASSERT_EQ(ZipProblem::None, ReadZipCentral(central.data(), central.size(), entry, &bytes));
        EXPECT_EQ(central.size(), bytes);
        EXPECT_EQ(c.size, entry.uncompressedSize);
        EXPECT_EQ(c.packedSize, entry.compressedSize);
        EXPECT_EQ(c.offset, entry.localOffset);
        unsigned wide = (c.size >= 0xFFFFFFFF) + (c.packedSize >= 0xFFFFFFFF) + (c.offset >= 0xFFFFFFFF);
        EXPECT_EQ(wide ? 4 + 8 * wide : 0, entry.extraLength);
        EXPECT_EQ(wide ? 45 : 20, entry.versionNeeded);

        Bytes local = ZipLocalHeader(fields);
        size_t localBytes = 0;
        EXPECT_EQ(ZipProblem::None, CheckZipLocal(local.data(), local.size(), entry,
                                                  central.data() + ZIP_CENTRAL_BYTES, &localBytes));
        EXPECT_EQ(local.size(), localBytes);
        bool wideSizes = c.size >= 0xFFFFFFFF || c.packedSize >= 0xFFFFFFFF;
        EXPECT_EQ(wideSizes ? 20u : 0u, ReadU16(local.data() + 28));
        EXPECT_EQ(wide ? 45u : 20u, ReadU16(local.data() + 4));
    }

    // The end records, for a central directory anywhere in a large archive.
    struct End {
        uint64_t entries, offset, size;
        bool zip64;
    };
    for (const End& e : {End{65534, 100, 46 * 65534, false}, End{65535, 100, 46 * 65535, true},
                         End{3, GIB4, 200, true}, End{3, 0xFFFFFFFF, 200, true}, End{3, 0xFFFFFFFE, 200, false}}) {
        SCOPED_TRACE(std::to_string(e.entries) + " " + std::to_string(e.offset));
        Bytes tail = ZipEndRecords(e.entries, e.offset, e.size);
        EXPECT_EQ(e.zip64 ? ZIP64_END_BYTES + ZIP64_LOCATOR_BYTES + ZIP_END_BYTES : ZIP_END_BYTES, tail.size());
        TZipDirectory directory;
        ASSERT_EQ(ZipProblem::None, ReadZipDirectory(tail.data(), tail.size(), e.offset + e.size + tail.size(), directory));
        EXPECT_EQ(e.zip64, directory.zip64);
        EXPECT_EQ(e.entries, directory.entries);
        EXPECT_EQ(e.offset, directory.offset);
        EXPECT_EQ(e.size, directory.size);
    }
}

// Keeps the first and last bytes written and the CRC-32 of one range.
class CEndsSink : public CByteSink {
public:
    CEndsSink(uint64_t from, uint64_t to) : m_from(from), m_to(to) {}
    bool Write(const uint8_t* data, size_t size, std::string&) override
    {
        for (size_t i = 0; i < size && m_total + i < KEPT; ++i)
            head.push_back(data[i]);
        uint64_t start = std::max(m_total, m_from), stop = std::min(m_total + size, m_to);
        if (start < stop)
            crc = crc32_z(crc, data + (start - m_total), static_cast<size_t>(stop - start));
        if (size >= KEPT)
            tail.assign(data + size - KEPT, data + size);
        else
            tail.insert(tail.end(), data, data + size);
        if (tail.size() > 2 * KEPT)
            tail.erase(tail.begin(), tail.end() - KEPT);
        m_total += size;
        return true;
    }
    uint64_t Total() const { return m_total; }

    static const size_t KEPT = 1 << 16;
    Bytes head, tail;
    uLong crc = crc32_z(0, nullptr, 0);

private:
    uint64_t m_from, m_to;
    uint64_t m_total = 0;
};

// The CRC-32 of `length` zero bytes, by doubling: no need to read them.
uLong ZerosCrc(uint64_t length)
{
    uLong result = crc32_z(0, nullptr, 0), piece = crc32_z(0, Bytes(1, 0).data(), 1);
    for (uint64_t bit = 1; bit <= length; bit <<= 1) {
        if (length & bit)
            result = crc32_combine64(result, piece, static_cast<z_off64_t>(bit));
        piece = crc32_combine64(piece, piece, static_cast<z_off64_t>(bit));
    }
    return result;
}

// Runs `work` in a child process that may map no more than `limit` bytes
// (one malloc arena, so that threads do not reserve their own); its exit
// status, 0 when `work` returned true.
template <typename Work>
int RunWithin(uint64_t limit, Work work)
{
    pid_t pid = fork();
    if (pid == 0) {
        mallopt(M_ARENA_MAX, 1);
        struct rlimit memory = {limit, limit};
        setrlimit(RLIMIT_AS, &memory);
        _exit(work() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Files larger than the memory the writer may map: one stored (random at
// first, then zeros left to the file system), one deflated (zeros), both
// of 384 MiB, written within 320 MiB (room for the stacks of 16 packing
// threads). The archive verifies, and the deflated file's scratch file is
// gone with it.
TEST(ZipWriterTest, LargeFilesAreStreamedNotHeld)
{
    CScratchFolder dir;
    const uint64_t size = 384u << 20;
    WriteText(dir / "stored.bin", Noise(1 << 20, 5));
    ASSERT_EQ(0, truncate((dir / "stored.bin").c_str(), static_cast<off_t>(size)));
    WriteText(dir / "zeros.bin", "");
    ASSERT_EQ(0, truncate((dir / "zeros.bin").c_str(), static_cast<off_t>(size)));
    std::vector<ZipSource> entries = {ZipSource{"stored.bin", dir / "stored.bin", {}, size},
                                      ZipSource{"zeros.bin", dir / "zeros.bin", {}, size}};
    const std::string path = dir / "out.zip";
    int status = RunWithin(320u << 20, [&] {
        int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
        struct CFdSink : CByteSink {
            int fd;
            bool Write(const uint8_t* data, size_t size, std::string&) override
            {
                return write(fd, data, size) == static_cast<ssize_t>(size);
            }
        } sink;
        sink.fd = fd;
        ZipWriteOptions options;
        options.scratchFolder = dir.Path();
        std::string error;
        bool written = fd >= 0 && WriteZip(entries, 0, "test", options, sink, error) && close(fd) == 0;
        if (!written)
            fprintf(stderr, "%s\n", error.c_str());
        return written;
    });
    ASSERT_EQ(0, status);
    CFileSource file;
    std::string error;
    ASSERT_TRUE(file.Open(path, error)) << error;
    ZipCheck check;
    VerifyZip(CArchiveBytes(file), 0, check);
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    ASSERT_EQ(2u, check.entries.size());
    EXPECT_EQ(ZIP_METHOD_STORED, check.entries[0].method);
    EXPECT_EQ(ZIP_METHOD_DEFLATED, check.entries[1].method);
    EXPECT_EQ((std::vector<std::string>{"out.zip", "stored.bin", "zeros.bin"}), dir.List());
}

// Files of 4 GiB and more, with zeros left to the file system (sparse):
// one with a megabyte of random data first, stored and read again as it is
// written, one of zeros, deflated, in a child process that may not map
// 1 GiB. The sizes stand in ZIP64 fields, each header's holding only what
// does not fit: the deflated file's compressed size does. Reading 12 GiB
// and deflating 4 takes half a minute: run with KX_LARGE_TESTS=1.
TEST(ZipWriterTest, AFileOf4GiBIsStreamedWithZip64Fields)
{
    if (!getenv("KX_LARGE_TESTS"))
        GTEST_SKIP() << "KX_LARGE_TESTS=1 runs it";
    CScratchFolder dir;
    const uint64_t size = (uint64_t(1) << 32) + 100;
    const std::string head = Noise(1 << 20, 11), path = dir / "big.bin";
    WriteText(path, head);
    ASSERT_EQ(0, truncate(path.c_str(), static_cast<off_t>(size)));
    const uint64_t zerosSize = (uint64_t(1) << 32) + 7;
    WriteText(dir / "zeros.bin", "");
    ASSERT_EQ(0, truncate((dir / "zeros.bin").c_str(), static_cast<off_t>(zerosSize)));
    std::vector<ZipSource> entries = {ZipSource{"big.bin", path, {}, size},
                                      ZipSource{"zeros.bin", dir / "zeros.bin", {}, zerosSize},
                                      FileEntry(dir, "after.txt", "after")};
    const size_t dataStart = ZIP_LOCAL_BYTES + 7 + 20;

    int status = RunWithin(1u << 30, [&] {
        CEndsSink sink(dataStart, dataStart + size);
        std::string error;
        if (!WriteZip(entries, 0, "test", sink, error)) {
            fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        WriteText(dir / "head", std::string(sink.head.begin(), sink.head.end()));
        WriteText(dir / "tail", std::string(sink.tail.begin(), sink.tail.end()));
        WriteText(dir / "sums", std::to_string(sink.crc) + " " + std::to_string(sink.Total()));
        return true;
    });
    ASSERT_EQ(0, status);
    unsigned long dataCrc = 0;
    unsigned long long total = 0;
    ASSERT_EQ(2, sscanf(ReadText(dir / "sums").c_str(), "%lu %llu", &dataCrc, &total));
    std::string headText = ReadText(dir / "head"), tailText = ReadText(dir / "tail");
    Bytes front(headText.begin(), headText.end()), back(tailText.begin(), tailText.end());

    uLong expected = crc32_combine64(crc32_z(0, reinterpret_cast<const Bytef*>(head.data()), head.size()),
                                     ZerosCrc(size - head.size()), static_cast<z_off64_t>(size - head.size()));
    EXPECT_EQ(expected, dataCrc) << "the data written";

    TZipDirectory directory;
    ASSERT_EQ(ZipProblem::None, ReadZipDirectory(back.data(), back.size(), total, directory));
    EXPECT_TRUE(directory.zip64);
    EXPECT_EQ(3u, directory.entries);
    uint64_t backStart = total - back.size();
    ASSERT_GE(directory.offset, backStart);
    const uint8_t* central = back.data() + (directory.offset - backStart);
    TZipEntry big, zeros, after;
    size_t bytes = 0, zerosBytes = 0, afterBytes = 0;
    ASSERT_EQ(ZipProblem::None, ReadZipCentral(central, back.size(), big, &bytes));
    ASSERT_EQ(ZipProblem::None, ReadZipCentral(central + bytes, back.size() - bytes, zeros, &zerosBytes));
    ASSERT_EQ(ZipProblem::None,
              ReadZipCentral(central + bytes + zerosBytes, back.size() - bytes - zerosBytes, after, &afterBytes));
    EXPECT_EQ(size, big.uncompressedSize);
    EXPECT_EQ(size, big.compressedSize);
    EXPECT_EQ(ZIP_METHOD_STORED, big.method);
    EXPECT_EQ(expected, big.crc32);
    EXPECT_EQ(4 + 16, big.extraLength) << "both sizes, no offset";
    EXPECT_EQ(dataStart + size, zeros.localOffset);
    EXPECT_EQ(zerosSize, zeros.uncompressedSize);
    EXPECT_EQ(ZIP_METHOD_DEFLATED, zeros.method);
    EXPECT_EQ(ZerosCrc(zerosSize), zeros.crc32);
    EXPECT_LT(zeros.compressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(4 + 16, zeros.extraLength) << "size and offset, not the compressed size";
    EXPECT_EQ(4 + 8, after.extraLength) << "the offset alone";
    size_t localBytes = 0;
    EXPECT_EQ(ZipProblem::None, CheckZipLocal(front.data(), front.size(), big, central + ZIP_CENTRAL_BYTES, &localBytes));
    EXPECT_EQ(dataStart, localBytes);
    size_t afterAt = static_cast<size_t>(after.localOffset - backStart);
    EXPECT_EQ(ZipProblem::None, CheckZipLocal(back.data() + afterAt, back.size() - afterAt, after,
                                              central + bytes + zerosBytes + ZIP_CENTRAL_BYTES, nullptr));
}

} // namespace
