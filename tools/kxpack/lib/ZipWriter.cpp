#include "ZipWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "EntryPacker.h"
#include "Progress.h"
#include "ScratchFiles.h"
#include "ZipHeaders.h"

namespace {

// Input bytes of entries packed ahead of the writer; the next entry to
// write is taken even when it alone is larger.
const uint64_t AHEAD_BUDGET = 64u << 20;
// What a streamed entry holds while it is packed: a read chunk, the probe
// and the deflated bytes on their way to the scratch file.
const uint64_t STREAMED_WEIGHT = 4u << 20;
const uint64_t PROGRESS_THRESHOLD = 8u << 20;
const size_t COPY_CHUNK = 1 << 20;

bool IsFolder(const ZipSource& source)
{
    return !source.name.empty() && source.name.back() == '/';
}

struct Packed {
    enum Kind {
        InMemory,    // `data`
        FromSource,  // stored: the source is read again as it is written
        FromScratch, // deflated into the scratch file `scratch`
    };
    bool done = false;
    std::string error;
    PackResult result;
    Kind kind = InMemory;
    Bytes data;
    int scratch = -1;
};

// An entry packed into memory, its buffer sized once for the worst case:
// never copied to grow, and pages it does not fill are never touched.
class CMemoryOutput : public CPackOutput {
public:
    CMemoryOutput(Bytes& data, uint64_t size) : m_data(data), m_size(size) {}
    bool Begin(uint16_t method, std::string&) override
    {
        m_data.reserve(static_cast<size_t>(method == 0 ? m_size : m_size + (m_size >> 10) + 4096));
        return true;
    }
    bool Put(const uint8_t* data, size_t size, std::string&) override
    {
        m_data.insert(m_data.end(), data, data + size);
        return true;
    }

private:
    Bytes& m_data;
    uint64_t m_size;
};

// A large entry's first pass: a stored one is only measured, a deflated
// one goes to a scratch file.
class CStreamedOutput : public CPackOutput {
public:
    CStreamedOutput(const std::string& folder, const std::atomic<bool>& stop) : m_folder(folder), m_stop(stop) {}
    ~CStreamedOutput() override
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Begin(uint16_t method, std::string& error) override
    {
        if (method == 0)
            return true;
        m_fd = OpenUnnamedScratchFile(m_folder, error);
        return m_fd >= 0;
    }
    bool Put(const uint8_t* data, size_t size, std::string& error) override
    {
        if (m_stop.load()) {
            error = "stopped";
            return false;
        }
        while (m_fd >= 0 && size > 0) {
            ssize_t done = write(m_fd, data, size);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0) {
                error = "writing a scratch file: " + std::string(strerror(errno));
                return false;
            }
            data += done;
            size -= static_cast<size_t>(done);
        }
        return true;
    }
    int Release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    std::string m_folder;
    const std::atomic<bool>& m_stop;
    int m_fd = -1;
};

// The second pass of a stored entry: straight into the archive.
class CSinkOutput : public CPackOutput {
public:
    explicit CSinkOutput(CByteSink& sink) : m_sink(sink) {}
    bool Begin(uint16_t, std::string&) override { return true; }
    bool Put(const uint8_t* data, size_t size, std::string& error) override
    {
        return m_sink.Write(data, size, error);
    }

private:
    CByteSink& m_sink;
};

// Workers pack entries ahead of the writer, within the budget.
class CPackers {
public:
    CPackers(const std::vector<ZipSource>& entries, const ZipWriteOptions& options)
        : m_entries(entries), m_options(options), m_packed(entries.size())
    {
        unsigned count = std::max(1u, std::min(16u, std::thread::hardware_concurrency()));
        for (unsigned i = 0; i < count; ++i)
            m_threads.emplace_back([this] { Work(); });
    }
    ~CPackers()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (auto& thread : m_threads)
            thread.join();
        for (auto& packed : m_packed)
            if (packed.scratch >= 0)
                close(packed.scratch);
    }
    // Waits for entry `index` (taken in order) and hands over its data.
    Packed& Wait(size_t index)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_packed[index].done; });
        return m_packed[index];
    }
    void Written(size_t index)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            Packed& packed = m_packed[index];
            Bytes().swap(packed.data);
            if (packed.scratch >= 0)
                close(packed.scratch);
            packed.scratch = -1;
            m_ahead -= Weight(index);
            m_nextToWrite = index + 1;
        }
        m_changed.notify_all();
    }

private:
    bool Streamed(size_t index) const
    {
        return !IsFolder(m_entries[index]) && m_entries[index].size > m_options.streamBytes;
    }
    uint64_t Weight(size_t index) const { return Streamed(index) ? STREAMED_WEIGHT : m_entries[index].size; }

    void Pack(size_t index, Packed& packed)
    {
        const ZipSource& source = m_entries[index];
        if (!Streamed(index)) {
            CMemoryOutput output(packed.data, source.size);
            PackEntry(source, output, packed.result, packed.error);
            return;
        }
        CStreamedOutput output(m_options.scratchFolder, m_stop);
        if (!PackEntry(source, output, packed.result, packed.error))
            return;
        packed.scratch = output.Release();
        packed.kind = packed.scratch >= 0 ? Packed::FromScratch : Packed::FromSource;
    }

    void Work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] {
                return m_stop || m_next >= m_entries.size() || m_next == m_nextToWrite ||
                       m_ahead < AHEAD_BUDGET;
            });
            if (m_stop || m_next >= m_entries.size())
                return;
            size_t index = m_next++;
            m_ahead += Weight(index);
            lock.unlock();
            Packed packed;
            Pack(index, packed);
            lock.lock();
            packed.done = true;
            m_packed[index] = std::move(packed);
            m_changed.notify_all();
        }
    }

    const std::vector<ZipSource>& m_entries;
    const ZipWriteOptions& m_options;
    std::vector<Packed> m_packed;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_next = 0;
    size_t m_nextToWrite = 0;
    uint64_t m_ahead = 0;
    std::atomic<bool> m_stop{false};
};

// The data of a packed entry, into the sink.
bool WriteData(const ZipSource& source, const Packed& packed, CByteSink& sink, std::string& error)
{
    if (packed.kind == Packed::InMemory)
        return sink.Write(packed.data.data(), packed.data.size(), error);
    if (packed.kind == Packed::FromSource) {
        // Packed again the same way: the same bytes, unless the file changed.
        CSinkOutput output(sink);
        PackResult again;
        if (!PackEntry(source, output, again, error))
            return false;
        if (again.crc != packed.result.crc || again.size != packed.result.size ||
            again.method != packed.result.method || again.packedSize != packed.result.packedSize) {
            error = source.path + ": the file changed while it was read";
            return false;
        }
        return true;
    }
    Bytes chunk(COPY_CHUNK);
    uint64_t copied = 0;
    for (;;) {
        ssize_t got = pread(packed.scratch, chunk.data(), chunk.size(), static_cast<off_t>(copied));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = "reading a scratch file: " + std::string(strerror(errno));
            return false;
        }
        if (got == 0)
            break;
        if (!sink.Write(chunk.data(), static_cast<size_t>(got), error))
            return false;
        copied += static_cast<uint64_t>(got);
    }
    if (copied != packed.result.packedSize) {
        error = "a scratch file lost bytes of " + source.name;
        return false;
    }
    return true;
}

} // namespace

void ToDosTime(int64_t seconds, uint16_t& time, uint16_t& date)
{
    const int64_t first = 315532800;   // 1980-01-01 00:00:00
    const int64_t last = 4354819198LL; // 2107-12-31 23:59:58
    time_t clamped = static_cast<time_t>(std::min(std::max(seconds, first), last));
    struct tm parts;
    gmtime_r(&clamped, &parts);
    time = static_cast<uint16_t>(parts.tm_hour << 11 | parts.tm_min << 5 | parts.tm_sec / 2);
    date = static_cast<uint16_t>((parts.tm_year - 80) << 9 | (parts.tm_mon + 1) << 5 | parts.tm_mday);
}

bool WriteZip(const std::vector<ZipSource>& entries, int64_t time, const std::string& what,
              CByteSink& sink, std::string& error)
{
    return WriteZip(entries, time, what, ZipWriteOptions(), sink, error);
}

bool WriteZip(const std::vector<ZipSource>& entries, int64_t time, const std::string& what,
              const ZipWriteOptions& options, CByteSink& sink, std::string& error)
{
    ZipHeaderFields fields;
    ToDosTime(time, fields.dosTime, fields.dosDate);
    uint64_t total = 0;
    for (const auto& entry : entries)
        total += entry.size;
    CProgress progress("compressing " + what, total, PROGRESS_THRESHOLD);
    CPackers packers(entries, options);
    Bytes central;
    uint64_t offset = 0, done = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        Packed& packed = packers.Wait(i);
        if (!packed.error.empty()) {
            error = packed.error;
            return false;
        }
        fields.name = entries[i].name;
        fields.method = packed.result.method;
        fields.crc = packed.result.crc;
        fields.size = packed.result.size;
        fields.packedSize = packed.result.packedSize;
        fields.offset = offset;
        Bytes head = ZipLocalHeader(fields);
        if (!sink.Write(head.data(), head.size(), error) || !WriteData(entries[i], packed, sink, error))
            return false;
        AppendZipCentralHeader(fields, central);
        offset += head.size() + fields.packedSize;
        done += entries[i].size;
        packers.Written(i);
        progress.Update(done);
    }
    Bytes end = ZipEndRecords(entries.size(), offset, central.size());
    if (!sink.Write(central.data(), central.size(), error) || !sink.Write(end.data(), end.size(), error))
        return false;
    progress.Finish();
    return true;
}
