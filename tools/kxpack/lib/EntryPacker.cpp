#include "EntryPacker.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "CheckedInput.h"

namespace {

const uint16_t METHOD_STORE = 0, METHOD_DEFLATE = 8;
const size_t READ_CHUNK = 1 << 20;
// The decision between deflating and storing is taken on this many bytes;
// deflating puts out everything so far there, so that the sizes compared
// are the real ones. The stream bytes depend on it: it never changes.
const size_t PROBE_BYTES = READ_CHUNK;
const int LEVEL = 6;

class CFileReader {
public:
    ~CFileReader()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    // Only the file the walk saw: a swapped one is refused.
    bool Open(const std::string& path, const FileSeen& seen, std::string& error)
    {
        m_path = path;
        m_fd = OpenCheckedInput(path, seen, error);
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
    CDeflater(const CDeflater&) = delete;
    CDeflater& operator=(const CDeflater&) = delete;
    bool Ok() const { return m_ok; }
    // `flush` is Z_NO_FLUSH, Z_SYNC_FLUSH (all output so far, to judge it) or
    // Z_FINISH. The output is appended to `out`.
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

// Counts what goes to the output.
class CCountedOutput {
public:
    explicit CCountedOutput(CPackOutput& output) : m_output(output) {}
    bool Put(const Bytes& data, std::string& error)
    {
        m_count += data.size();
        return data.empty() || m_output.Put(data.data(), data.size(), error);
    }
    bool Put(const uint8_t* data, size_t size, std::string& error)
    {
        m_count += size;
        return size == 0 || m_output.Put(data, size, error);
    }
    uint64_t Count() const { return m_count; }

private:
    CPackOutput& m_output;
    uint64_t m_count = 0;
};

} // namespace

bool PackEntry(const ZipSource& source, CPackOutput& output, PackResult& result, std::string& error)
{
    result = PackResult();
    if (!source.name.empty() && source.name.back() == '/')
        return output.Begin(METHOD_STORE, error);
    CFileReader reader;
    Bytes chunk;
    const uint8_t* memory = nullptr;
    if (source.path.empty())
        memory = source.data.data();
    else if (!reader.Open(source.path, source.seen, error))
        return false;
    else
        chunk.resize(READ_CHUNK);
    CDeflater deflater;
    if (!deflater.Ok()) {
        error = source.name + ": no memory to compress it";
        return false;
    }
    CCountedOutput out(output);
    Bytes plain;    // the probe's plain bytes, while storing may yet win
    Bytes deflated; // deflated bytes not yet handed on
    bool decided = false, storing = false;
    uint64_t offset = 0;
    uLong crc = crc32(0, nullptr, 0);
    for (;;) {
        const uint8_t* piece;
        size_t got;
        if (memory) {
            got = static_cast<size_t>(std::min<uint64_t>(READ_CHUNK, source.data.size() - offset));
            piece = memory + offset;
        } else {
            if (!reader.Read(chunk, got, error))
                return false;
            piece = chunk.data();
        }
        bool last = got < READ_CHUNK || (memory && offset + got == source.data.size());
        crc = crc32(crc, piece, static_cast<uInt>(got));
        offset += got;
        if (offset > source.size || (last && offset != source.size)) {
            error = (source.path.empty() ? source.name : source.path) + ": the file changed while it was read";
            return false;
        }
        if (storing) {
            if (!out.Put(piece, got, error))
                return false;
        } else {
            int flush = last ? Z_FINISH : offset == PROBE_BYTES ? Z_SYNC_FLUSH : Z_NO_FLUSH;
            if (!deflater.Add(piece, got, flush, deflated)) {
                error = source.name + ": compressing failed";
                return false;
            }
            if (!decided && offset <= PROBE_BYTES)
                plain.insert(plain.end(), piece, piece + got);
            // The probe is whole and more follows: decided for good.
            if (!decided && offset >= PROBE_BYTES && !last) {
                decided = true;
                storing = deflated.size() * 100 >= offset * 99;
                if (!output.Begin(storing ? METHOD_STORE : METHOD_DEFLATE, error) ||
                    !out.Put(storing ? plain : deflated, error))
                    return false;
                Bytes().swap(plain);
                deflated.clear();
            } else if (decided) {
                if (!out.Put(deflated, error))
                    return false;
                deflated.clear();
            }
        }
        if (last)
            break;
    }
    if (!decided) {
        // A megabyte or less, all of it seen: stored unless deflating shrinks it.
        storing = deflated.size() >= offset;
        if (!output.Begin(storing ? METHOD_STORE : METHOD_DEFLATE, error) ||
            !out.Put(storing ? plain : deflated, error))
            return false;
    }
    result.method = storing ? METHOD_STORE : METHOD_DEFLATE;
    result.crc = static_cast<uint32_t>(crc);
    result.size = offset;
    result.packedSize = out.Count();
    return true;
}
