#include "ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "Progress.h"

namespace {

const uint32_t LOCAL_SIGNATURE = 0x04034B50, CENTRAL_SIGNATURE = 0x02014B50, END_SIGNATURE = 0x06054B50;
const uint16_t METHOD_STORE = 0, METHOD_DEFLATE = 8;
const uint16_t VERSION_FOLDER = 10, VERSION_DEFLATE = 20; // made by MS-DOS, version 2.0
const uint32_t ATTRIBUTE_FOLDER = 0x10;
const uint64_t ZIP32_LIMIT = 0xFFFFFFFFull;
const size_t READ_CHUNK = 1 << 20;
// Deflating stops and the file is stored when its first megabyte does not
// shrink by 1%: random and compressed data would cost time and gain nothing.
const size_t PROBE_BYTES = 1 << 20;
// Input bytes of entries deflated ahead of the writer; one entry larger than
// this is still taken when it is the next to write.
const uint64_t AHEAD_BUDGET = 64u << 20;
const uint64_t PROGRESS_THRESHOLD = 8u << 20;
const int LEVEL = 6;

void PutU16(Bytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(Bytes& out, uint32_t value)
{
    PutU16(out, static_cast<uint16_t>(value));
    PutU16(out, static_cast<uint16_t>(value >> 16));
}

struct Packed {
    bool done = false;
    std::string error;
    Bytes data;
    uint32_t crc = 0;
    uint64_t size = 0;
    uint16_t method = METHOD_STORE;
};

class CFileReader {
public:
    ~CFileReader()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Open(const std::string& path, std::string& error)
    {
        m_path = path;
        m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            error = path + ": " + strerror(errno);
        return m_fd >= 0;
    }
    // Fills `buffer` up to its size; fewer bytes only at the end of the file.
    bool Read(Bytes& buffer, size_t& got, std::string& error)
    {
        got = 0;
        while (got < buffer.size()) {
            ssize_t done = read(m_fd, buffer.data() + got, buffer.size() - got);
            if (done < 0 && errno == EINTR)
                continue;
            if (done < 0) {
                error = m_path + ": " + strerror(errno);
                return false;
            }
            if (done == 0)
                break;
            got += static_cast<size_t>(done);
        }
        return true;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

class CDeflater {
public:
    CDeflater()
    {
        memset(&m_stream, 0, sizeof(m_stream));
        m_ok = deflateInit2(&m_stream, LEVEL, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~CDeflater()
    {
        if (m_ok)
            deflateEnd(&m_stream);
    }
    bool Ok() const { return m_ok; }
    // `flush` is Z_NO_FLUSH, Z_SYNC_FLUSH (all output so far, to judge it) or Z_FINISH.
    bool Add(const uint8_t* data, size_t size, int flush, Bytes& out)
    {
        m_stream.next_in = const_cast<uint8_t*>(data);
        m_stream.avail_in = static_cast<uInt>(size);
        bool last = flush == Z_FINISH;
        for (;;) {
            size_t before = out.size();
            size_t room = deflateBound(&m_stream, m_stream.avail_in) + 64;
            out.resize(before + room);
            m_stream.next_out = out.data() + before;
            m_stream.avail_out = static_cast<uInt>(room);
            int result = deflate(&m_stream, flush);
            out.resize(before + room - m_stream.avail_out);
            if (result == Z_STREAM_ERROR)
                return false;
            if (result == Z_STREAM_END || (!last && m_stream.avail_in == 0 && m_stream.avail_out > 0))
                return true;
        }
    }

private:
    z_stream m_stream;
    bool m_ok = false;
};

// One entry's data: deflated, or stored when that is not smaller.
void Pack(const ZipSource& source, Packed& packed)
{
    if (!source.name.empty() && source.name.back() == '/')
        return;
    CFileReader reader;
    Bytes chunk;
    const uint8_t* memory = nullptr;
    if (source.path.empty())
        memory = source.data.data();
    else if (!reader.Open(source.path, packed.error))
        return;
    else
        chunk.resize(READ_CHUNK);
    CDeflater deflater;
    if (!deflater.Ok()) {
        packed.error = source.name + ": no memory to compress it";
        return;
    }
    // Room for the worst case at once: the buffer is never copied to grow,
    // and pages it does not fill are never touched.
    packed.data.reserve(static_cast<size_t>(source.size + (source.size >> 10) + 4096));
    Bytes stored; // the plain bytes so far, while storing may yet win
    uint64_t offset = 0;
    bool storing = false;
    packed.crc = crc32(0, nullptr, 0);
    for (;;) {
        const uint8_t* piece;
        size_t got;
        if (memory) {
            got = static_cast<size_t>(std::min<uint64_t>(READ_CHUNK, source.data.size() - offset));
            piece = memory + offset;
        } else {
            if (!reader.Read(chunk, got, packed.error))
                return;
            piece = chunk.data();
        }
        bool last = got < READ_CHUNK || (memory && offset + got == source.data.size());
        packed.crc = crc32(packed.crc, piece, static_cast<uInt>(got));
        offset += got;
        if (offset > source.size || (last && offset != source.size)) {
            packed.error = (source.path.empty() ? source.name : source.path) +
                           ": the file changed while it was read";
            return;
        }
        if (storing) {
            packed.data.insert(packed.data.end(), piece, piece + got);
        } else {
            // At the end of the probe everything deflated so far is put out,
            // so that the sizes compared are the real ones.
            int flush = last ? Z_FINISH : offset == PROBE_BYTES ? Z_SYNC_FLUSH : Z_NO_FLUSH;
            if (!deflater.Add(piece, got, flush, packed.data)) {
                packed.error = source.name + ": compressing failed";
                return;
            }
            if (offset <= PROBE_BYTES)
                stored.insert(stored.end(), piece, piece + got);
            if (offset >= PROBE_BYTES && stored.size() == offset && !last &&
                packed.data.size() * 100 >= offset * 99) {
                storing = true;
                packed.data.swap(stored);
                // Grown once: doubling a large file's buffer would hold it 1.5 times over.
                packed.data.reserve(static_cast<size_t>(source.size));
            }
        }
        if (last)
            break;
    }
    packed.size = offset;
    if (!storing && packed.data.size() >= offset && offset <= PROBE_BYTES) {
        packed.data.swap(stored);
        storing = true;
    }
    packed.method = storing ? METHOD_STORE : METHOD_DEFLATE;
    if (storing)
        packed.data.shrink_to_fit();
}

// Workers pack entries ahead of the writer, within the budget.
class CPackers {
public:
    explicit CPackers(const std::vector<ZipSource>& entries) : m_entries(entries), m_packed(entries.size())
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
            Bytes().swap(m_packed[index].data);
            m_ahead -= m_entries[index].size;
            m_nextToWrite = index + 1;
        }
        m_changed.notify_all();
    }

private:
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
            m_ahead += m_entries[index].size;
            lock.unlock();
            Packed packed;
            Pack(m_entries[index], packed);
            lock.lock();
            packed.done = true;
            m_packed[index] = std::move(packed);
            m_changed.notify_all();
        }
    }

    const std::vector<ZipSource>& m_entries;
    std::vector<Packed> m_packed;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_next = 0;
    size_t m_nextToWrite = 0;
    uint64_t m_ahead = 0;
    bool m_stop = false;
};

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
    if (entries.size() >= 0xFFFF) {
        error = what + ": " + std::to_string(entries.size()) +
                " entries need ZIP64, which the setup program does not read";
        return false;
    }
    uint16_t dosTime, dosDate;
    ToDosTime(time, dosTime, dosDate);
    uint64_t total = 0;
    for (const auto& entry : entries)
        total += entry.size;
    CProgress progress("compressing " + what, total, PROGRESS_THRESHOLD);
    CPackers packers(entries);
    Bytes central;
    uint64_t offset = 0, done = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        Packed& packed = packers.Wait(i);
        if (!packed.error.empty()) {
            error = packed.error;
            return false;
        }
        const std::string& name = entries[i].name;
        bool folder = name.back() == '/';
        uint16_t version = folder ? VERSION_FOLDER : VERSION_DEFLATE;
        if (offset + 30 + name.size() + packed.data.size() >= ZIP32_LIMIT || packed.size >= ZIP32_LIMIT) {
            error = what + ": the archive reaches 4 GB and would need ZIP64, which the setup "
                           "program does not read";
            return false;
        }
        Bytes head;
        PutU32(head, LOCAL_SIGNATURE);
        PutU16(head, version);
        PutU16(head, 0); // flags: ASCII names, sizes in the header
        PutU16(head, packed.method);
        PutU16(head, dosTime);
        PutU16(head, dosDate);
        PutU32(head, packed.crc);
        PutU32(head, static_cast<uint32_t>(packed.data.size()));
        PutU32(head, static_cast<uint32_t>(packed.size));
        PutU16(head, static_cast<uint16_t>(name.size()));
        PutU16(head, 0);
        head.insert(head.end(), name.begin(), name.end());
        if (!sink.Write(head.data(), head.size(), error) ||
            !sink.Write(packed.data.data(), packed.data.size(), error))
            return false;

        PutU32(central, CENTRAL_SIGNATURE);
        PutU16(central, version);
        central.insert(central.end(), head.begin() + 4, head.begin() + 28);     // as the local header
        PutU16(central, 0);                                                      // extra
        PutU16(central, 0);                                                      // comment
        PutU16(central, 0);                                                      // disk
        PutU16(central, 0);                                                      // internal attributes
        PutU32(central, folder ? ATTRIBUTE_FOLDER : 0);
        PutU32(central, static_cast<uint32_t>(offset));
        central.insert(central.end(), name.begin(), name.end());
        offset += head.size() + packed.data.size();
        done += entries[i].size;
        packers.Written(i);
        progress.Update(done);
    }
    if (offset + central.size() >= ZIP32_LIMIT) {
        error = what + ": the archive reaches 4 GB and would need ZIP64, which the setup program "
                       "does not read";
        return false;
    }
    Bytes end;
    PutU32(end, END_SIGNATURE);
    PutU16(end, 0);
    PutU16(end, 0);
    PutU16(end, static_cast<uint16_t>(entries.size()));
    PutU16(end, static_cast<uint16_t>(entries.size()));
    PutU32(end, static_cast<uint32_t>(central.size()));
    PutU32(end, static_cast<uint32_t>(offset));
    PutU16(end, 0);
    if (!sink.Write(central.data(), central.size(), error) || !sink.Write(end.data(), end.size(), error))
        return false;
    progress.Finish();
    return true;
}
