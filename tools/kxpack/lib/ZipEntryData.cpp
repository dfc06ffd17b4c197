#include "ZipEntryData.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "ZipVerify.h"

namespace {

// Each thread reads and inflates through windows of this size.
const size_t WINDOW_BYTES = 256u << 10;
// Below this much data, threads are not worth starting.
const uint64_t PARALLEL_BYTES = 8u << 20;

std::string Hex32(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

class CDataChecker {
public:
    explicit CDataChecker(const CArchiveBytes& zip) : m_zip(zip), m_output(WINDOW_BYTES)
    {
        m_stream = z_stream();
        // Raw deflate: the ZIP headers carry what a zlib header would.
        m_ready = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
    }
    ~CDataChecker()
    {
        if (m_ready)
            inflateEnd(&m_stream);
    }
    CDataChecker(const CDataChecker&) = delete;
    CDataChecker& operator=(const CDataChecker&) = delete;

    void Check(ZipDataJob& job)
    {
        m_crc = crc32_z(0, nullptr, 0);
        m_produced = 0;
        job.problem = job.method == 0 ? CheckStored(job) : CheckDeflated(job);
        if (!job.problem.empty())
            return;
        if (m_produced != job.size)
            job.problem = "its data " + std::string(job.method == 0 ? "holds " : "inflates to ") +
                          std::to_string(m_produced) + " bytes, the central directory says " +
                          std::to_string(job.size);
        else if (m_crc != job.crc32)
            job.problem = "the CRC-32 of its data is " + Hex32(static_cast<uint32_t>(m_crc)) +
                          ", the central directory says " + Hex32(job.crc32);
    }

private:
    std::string CheckStored(const ZipDataJob& job)
    {
        uint64_t at = job.dataOffset, left = job.compressedSize;
        while (left) {
            size_t piece = static_cast<size_t>(std::min<uint64_t>(left, WINDOW_BYTES));
            const uint8_t* data = m_zip.Read(at, piece, m_input);
            if (!data)
                return "its data at " + ZipOffsetText(m_zip, at) + " cannot be read";
            m_crc = crc32_z(m_crc, data, piece);
            m_produced += piece;
            at += piece;
            left -= piece;
        }
        return "";
    }

    std::string CheckDeflated(const ZipDataJob& job)
    {
        if (!m_ready || inflateReset(&m_stream) != Z_OK)
            return "zlib could not be started";
        uint64_t at = job.dataOffset, left = job.compressedSize;
        m_stream.avail_in = 0;
        for (;;) {
            if (m_stream.avail_in == 0 && left) {
                size_t piece = static_cast<size_t>(std::min<uint64_t>(left, WINDOW_BYTES));
                const uint8_t* data = m_zip.Read(at, piece, m_input);
                if (!data)
                    return "its data at " + ZipOffsetText(m_zip, at) + " cannot be read";
                m_stream.next_in = const_cast<Bytef*>(data);
                m_stream.avail_in = static_cast<uInt>(piece);
                at += piece;
                left -= piece;
            }
            m_stream.next_out = m_output.data();
            m_stream.avail_out = static_cast<uInt>(m_output.size());
            int result = inflate(&m_stream, Z_NO_FLUSH);
            size_t made = m_output.size() - m_stream.avail_out;
            m_crc = crc32_z(m_crc, m_output.data(), made);
            m_produced += made;
            uint64_t consumed = at - m_stream.avail_in - job.dataOffset;
            if (result == Z_STREAM_END) {
                if (consumed != job.compressedSize)
                    return "its deflate data ends at " + ZipOffsetText(m_zip, job.dataOffset + consumed) + ", " +
                           std::to_string(job.compressedSize - consumed) + " bytes before its compressed size";
                return "";
            }
            if (result != Z_OK && result != Z_BUF_ERROR)
                return "its deflate data is damaged near " + ZipOffsetText(m_zip, job.dataOffset + consumed) +
                       " (" + (m_stream.msg ? m_stream.msg : "zlib error " + std::to_string(result)) + ")";
            if (m_produced > job.size)
                return "its data inflates to more than the " + std::to_string(job.size) +
                       " bytes the central directory says";
            if (m_stream.avail_in == 0 && left == 0 && made == 0)
                return "its deflate data ends without an end block at " +
                       ZipOffsetText(m_zip, job.dataOffset + job.compressedSize);
        }
    }

    const CArchiveBytes& m_zip;
    Bytes m_input, m_output;
    z_stream m_stream;
    bool m_ready = false;
    uLong m_crc = 0;
    uint64_t m_produced = 0;
};

} // namespace

void CheckZipData(const CArchiveBytes& zip, std::vector<ZipDataJob>& jobs, unsigned threads)
{
    // Largest first, so that no thread is left with a big entry at the end.
    std::vector<ZipDataJob*> order;
    uint64_t total = 0;
    for (auto& job : jobs) {
        order.push_back(&job);
        total += job.compressedSize;
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const ZipDataJob* a, const ZipDataJob* b) { return a->compressedSize > b->compressedSize; });
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    if (total < PARALLEL_BYTES)
        threads = 1;
    threads = static_cast<unsigned>(std::min<size_t>(threads, order.size()));

    std::atomic<size_t> next{0};
    auto work = [&]() {
        CDataChecker checker(zip);
        for (size_t i; (i = next.fetch_add(1)) < order.size();)
            checker.Check(*order[i]);
    };
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < threads; ++i)
        helpers.emplace_back(work);
    work();
    for (auto& helper : helpers)
        helper.join();
}
