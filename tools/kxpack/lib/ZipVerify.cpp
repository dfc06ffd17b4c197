#include "ZipVerify.h"

#include <algorithm>
#include <cstdio>

#include "EntryNames.h"
#include "ZipEntryData.h"

namespace {

const uint32_t LOCAL_SIGNATURE = 0x04034B50;
const uint32_t CENTRAL_SIGNATURE = 0x02014B50;
const uint32_t END_SIGNATURE = 0x06054B50;
const uint32_t ZIP64_LOCATOR_SIGNATURE = 0x07064B50;
const uint32_t DESCRIPTOR_SIGNATURE = 0x08074B50;
const size_t LOCAL_BYTES = 30;
const size_t CENTRAL_BYTES = 46;
const size_t END_BYTES = 22;
const size_t ZIP64_LOCATOR_BYTES = 20;
const size_t MAX_COMMENT_BYTES = 0xFFFF;
const uint16_t ZIP64_EXTRA_ID = 0x0001;
const uint16_t FLAG_DESCRIPTOR = 0x0008;
// Traditional and strong encryption, and masked local headers.
const uint16_t FLAGS_ENCRYPTED = 0x0001 | 0x0040 | 0x2000;
const uint32_t ZIP64_MARK = 0xFFFFFFFF;

std::string Hex(uint32_t value, int digits)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%0*X", digits, value);
    return text;
}

// Where an entry's bytes lie, once its local header has been read.
struct EntrySpan {
    uint64_t start = 0, end = 0; // local header to the end of its data (and descriptor)
    uint64_t dataOffset = 0;
    bool known = false;          // the local header was read and its data lies inside
    uint16_t diskStart = 0;
    bool zip64Extra = false;
};

class CZipVerifier {
public:
    CZipVerifier(const CArchiveBytes& zip, ZipCheck& check) : m_zip(zip), m_check(check) {}

    void Run(unsigned threads)
    {
        m_check = ZipCheck();
        if (!ReadEnd() || !ReadCentral())
            return;
        m_spans.resize(m_check.entries.size());
        for (size_t i = 0; i < m_check.entries.size(); ++i) {
            CheckCentralFields(i);
            ReadLocal(i);
        }
        CheckLayout();
        CheckNames();
        CheckData(threads);
    }

private:
    std::string At(uint64_t offset) const { return ZipOffsetText(m_zip, offset); }

    void Problem(const std::string& text) { m_check.problems.push_back(text); }

    // The first problem of an entry is kept with it and reported; later ones
    // add nothing the user needs to find the damage.
    void EntryProblem(size_t index, const std::string& text)
    {
        ZipEntryCheck& entry = m_check.entries[index];
        if (!entry.problem.empty())
            return;
        entry.problem = text;
        Problem("\"" + entry.name + "\": " + text);
    }

    bool ReadEnd()
    {
        uint64_t size = m_zip.Size();
        if (size < END_BYTES) {
            Problem("the archive is " + std::to_string(size) + " bytes, too short for a ZIP end record");
            return false;
        }
        uint64_t tailStart = size > END_BYTES + MAX_COMMENT_BYTES ? size - END_BYTES - MAX_COMMENT_BYTES : 0;
        const uint8_t* tail = m_zip.Read(tailStart, static_cast<size_t>(size - tailStart), m_window);
        if (!tail) {
            Problem("the archive's end cannot be read");
            return false;
        }
        // The last signature that leaves room for a whole record, as the
        // setup program's reader looks for it.
        uint64_t end = size - END_BYTES;
        while (ReadU32(tail + (end - tailStart)) != END_SIGNATURE) {
            if (end == tailStart) {
                Problem("no ZIP end record in the archive's last " + std::to_string(size - tailStart) + " bytes");
                return false;
            }
            --end;
        }
        const uint8_t* record = tail + (end - tailStart);
        uint16_t disk = ReadU16(record + 4), centralDisk = ReadU16(record + 6);
        uint16_t entriesHere = ReadU16(record + 8), entries = ReadU16(record + 10);
        m_centralSize = ReadU32(record + 12);
        m_centralOffset = ReadU32(record + 16);
        uint16_t commentBytes = ReadU16(record + 20);
        m_end = end;
        std::string where = "the end record at " + At(end);
        if (end + END_BYTES + commentBytes != size)
            Problem(where + " says a comment of " + std::to_string(commentBytes) + " bytes follows it, but " +
                    std::to_string(size - end - END_BYTES) + " do");
        if (end >= ZIP64_LOCATOR_BYTES) {
            const uint8_t* locator = m_zip.Read(end - ZIP64_LOCATOR_BYTES, 4, m_window);
            if (locator && ReadU32(locator) == ZIP64_LOCATOR_SIGNATURE)
                Problem("a ZIP64 end locator at " + At(end - ZIP64_LOCATOR_BYTES) +
                        ": the setup program does not read ZIP64");
        }
        if (disk != 0 || centralDisk != 0)
            Problem(where + " names disk " + std::to_string(disk ? disk : centralDisk) +
                    ": the setup program reads archives of one disk only");
        if (entriesHere != entries)
            Problem(where + " counts " + std::to_string(entriesHere) + " entries on this disk and " +
                    std::to_string(entries) + " in all");
        if (entries == 0xFFFF || m_centralSize == ZIP64_MARK || m_centralOffset == ZIP64_MARK)
            Problem(where + " needs ZIP64, which the setup program does not read");
        if (entries == 0)
            Problem("the archive has no entries");
        m_entryCount = entries;
        if (static_cast<uint64_t>(m_centralOffset) + m_centralSize != end) {
            Problem(where + " puts the central directory at " + At(m_centralOffset) + ", " +
                    std::to_string(m_centralSize) + " bytes long, which does not end where the end record starts");
            if (m_centralOffset > end)
                return false;
        }
        return true;
    }

    bool ReadCentral()
    {
        uint64_t length = std::min<uint64_t>(m_centralSize, m_end - m_centralOffset);
        const uint8_t* directory = m_zip.Read(m_centralOffset, static_cast<size_t>(length), m_central);
        if (!directory) {
            Problem("the central directory at " + At(m_centralOffset) + " cannot be read");
            return false;
        }
        m_centralBase = directory;
        size_t at = 0;
        for (unsigned i = 0; i < m_entryCount; ++i) {
            std::string where = "central directory header " + std::to_string(i + 1) + " at " +
                                At(m_centralOffset + at);
            if (length - at < CENTRAL_BYTES) {
                Problem("the central directory ends at " + At(m_centralOffset + at) + ", after " +
                        std::to_string(i) + " of the " + std::to_string(m_entryCount) + " entries its end record counts");
                return true;
            }
            const uint8_t* header = directory + at;
            if (ReadU32(header) != CENTRAL_SIGNATURE) {
                Problem(where + " has no header signature");
                return true;
            }
            size_t nameBytes = ReadU16(header + 28), extraBytes = ReadU16(header + 30);
            size_t commentBytes = ReadU16(header + 32);
            if (length - at - CENTRAL_BYTES < nameBytes + extraBytes + commentBytes) {
                Problem(where + ": its name, extra field and comment run past the central directory");
                return true;
            }
            ZipEntryCheck entry;
            entry.flags = ReadU16(header + 8);
            entry.method = ReadU16(header + 10);
            entry.crc32 = ReadU32(header + 16);
            entry.compressedSize = ReadU32(header + 20);
            entry.size = ReadU32(header + 24);
            entry.offset = ReadU32(header + 42);
            entry.name.assign(reinterpret_cast<const char*>(header + CENTRAL_BYTES), nameBytes);
            m_check.entries.push_back(entry);
            m_centralHeaders.push_back(at);
            at += CENTRAL_BYTES + nameBytes + extraBytes + commentBytes;
        }
        if (at != length)
            Problem(std::to_string(length - at) + " bytes at " + At(m_centralOffset + at) +
                    " after the last central directory header belong to no entry");
        return true;
    }

    // Extra fields are (id, size, data) blocks filling the field exactly.
    static bool ReadExtra(const uint8_t* extra, size_t size, bool& zip64)
    {
        size_t at = 0;
        while (size - at >= 4) {
            if (ReadU16(extra + at) == ZIP64_EXTRA_ID)
                zip64 = true;
            size_t block = 4 + ReadU16(extra + at + 2);
            if (block > size - at)
                return false;
            at += block;
        }
        return at == size;
    }

    void CheckCentralFields(size_t index)
    {
        const ZipEntryCheck& entry = m_check.entries[index];
        const uint8_t* central = CentralHeader(index);
        size_t nameBytes = ReadU16(central + 28);
        bool zip64 = false;
        if (!ReadExtra(central + CENTRAL_BYTES + nameBytes, ReadU16(central + 30), zip64))
            EntryProblem(index, "the extra field of its central header at " +
                                    At(m_centralOffset + m_centralHeaders[index]) + " is malformed");
        uint16_t diskStart = ReadU16(central + 34);
        if (zip64 || entry.size == ZIP64_MARK || entry.compressedSize == ZIP64_MARK || entry.offset == ZIP64_MARK)
            EntryProblem(index, "needs ZIP64, which the setup program does not read");
        if (entry.flags & FLAGS_ENCRYPTED)
            EntryProblem(index, "encrypted entries cannot be extracted");
        if (entry.method != 0 && entry.method != 8)
            EntryProblem(index, "compression method " + std::to_string(entry.method) +
                                    " (only stored and deflated entries can be extracted)");
        if (entry.size > MAX_ENTRY_BYTES && entry.size != ZIP64_MARK)
            EntryProblem(index, "files over " + std::to_string(MAX_ENTRY_BYTES) +
                                    " bytes (2 GB) cannot be installed");
        if (entry.method == 0 && entry.compressedSize != entry.size)
            EntryProblem(index, "stored, but its compressed size " + std::to_string(entry.compressedSize) +
                                    " is not its size " + std::to_string(entry.size));
        if (diskStart != 0)
            EntryProblem(index, "its central header at " + At(m_centralOffset + m_centralHeaders[index]) +
                                    " puts it on disk " + std::to_string(diskStart));
        std::string nameProblem = EntryNameProblem(entry.name);
        std::string prefix = "\"" + entry.name + "\": ";
        if (!nameProblem.empty())
            EntryProblem(index, nameProblem.compare(0, prefix.size(), prefix) == 0 ? nameProblem.substr(prefix.size())
                                                                                  : nameProblem);
    }

    const uint8_t* CentralHeader(size_t index) const
    {
        // The central directory was read into m_central, or stands in memory.
        return m_centralBase + m_centralHeaders[index];
    }

    void ReadLocal(size_t index)
    {
        const ZipEntryCheck& entry = m_check.entries[index];
        const uint8_t* central = CentralHeader(index);
        EntrySpan& span = m_spans[index];
        uint64_t offset = entry.offset;
        if (offset > m_centralOffset || m_centralOffset - offset < LOCAL_BYTES) {
            EntryProblem(index, "its local header offset " + std::to_string(offset) +
                                    " lies outside the entries, which end at " + At(m_centralOffset));
            return;
        }
        const uint8_t* local = m_zip.Read(offset, LOCAL_BYTES, m_window);
        std::string where = "its local header at " + At(offset);
        if (!local || ReadU32(local) != LOCAL_SIGNATURE) {
            EntryProblem(index, "no local header at " + At(offset));
            return;
        }
        size_t nameBytes = ReadU16(local + 26), extraBytes = ReadU16(local + 28);
        uint16_t flags = ReadU16(local + 6);
        uint64_t dataOffset = offset + LOCAL_BYTES + nameBytes + extraBytes;
        if (dataOffset > m_centralOffset || entry.compressedSize > m_centralOffset - dataOffset) {
            EntryProblem(index, where + ": its name, extra field and " + std::to_string(entry.compressedSize) +
                                    " bytes of data run into the central directory at " + At(m_centralOffset));
            return;
        }
        struct Field {
            const char* what;
            uint32_t local, central;
            int digits;         // shown in hexadecimal with this many digits; 0: decimal
            bool inDescriptor;  // may be left 0 here when a data descriptor follows the data
        };
        bool descriptor = (flags & FLAG_DESCRIPTOR) != 0;
        const Field fields[] = {
            {"version needed", ReadU16(local + 4), ReadU16(central + 6), 0, false},
            {"flags", flags, entry.flags, 4, false},
            {"compression method", ReadU16(local + 8), entry.method, 0, false},
            {"modification time", ReadU32(local + 10), ReadU32(central + 12), 8, false},
            {"CRC-32", ReadU32(local + 14), entry.crc32, 8, true},
            {"compressed size", ReadU32(local + 18), static_cast<uint32_t>(entry.compressedSize), 0, true},
            {"size", ReadU32(local + 22), static_cast<uint32_t>(entry.size), 0, true},
            {"name length", static_cast<uint32_t>(nameBytes), ReadU16(central + 28), 0, false},
        };
        for (const Field& field : fields) {
            if (field.local == field.central || (descriptor && field.inDescriptor && field.local == 0))
                continue;
            auto text = [&](uint32_t value) { return field.digits ? Hex(value, field.digits) : std::to_string(value); };
            EntryProblem(index, where + " says " + field.what + " " + text(field.local) +
                                    ", the central directory " + text(field.central));
            return;
        }
        const uint8_t* tail = m_zip.Read(offset + LOCAL_BYTES, nameBytes + extraBytes, m_window);
        if (!tail)
            return EntryProblem(index, where + " cannot be read");
        if (std::string(reinterpret_cast<const char*>(tail), nameBytes) != entry.name)
            return EntryProblem(index, where + " names it \"" + std::string(reinterpret_cast<const char*>(tail), nameBytes) + "\"");
        bool zip64 = false;
        if (!ReadExtra(tail + nameBytes, extraBytes, zip64))
            return EntryProblem(index, "the extra field of " + where.substr(4) + " is malformed");
        if (zip64)
            return EntryProblem(index, "needs ZIP64, which the setup program does not read");
        span.start = offset;
        span.dataOffset = dataOffset;
        span.end = dataOffset + entry.compressedSize;
        if (descriptor && !ReadDescriptor(index, span))
            return;
        span.known = true;
    }

    // The data descriptor behind the data, with or without its signature.
    bool ReadDescriptor(size_t index, EntrySpan& span)
    {
        const ZipEntryCheck& entry = m_check.entries[index];
        uint64_t room = m_centralOffset - span.end;
        const uint8_t* d = m_zip.Read(span.end, static_cast<size_t>(std::min<uint64_t>(room, 16)), m_window);
        auto matches = [&](const uint8_t* fields) {
            return ReadU32(fields) == entry.crc32 && ReadU32(fields + 4) == entry.compressedSize &&
                   ReadU32(fields + 8) == entry.size;
        };
        if (d && room >= 16 && ReadU32(d) == DESCRIPTOR_SIGNATURE && matches(d + 4)) {
            span.end += 16;
            return true;
        }
        if (d && room >= 12 && matches(d)) {
            span.end += 12;
            return true;
        }
        EntryProblem(index, "its data descriptor at " + At(span.end) + " does not match the central directory");
        return false;
    }

    void CheckLayout()
    {
        std::vector<size_t> order;
        for (size_t i = 0; i < m_spans.size(); ++i) {
            if (!m_spans[i].known)
                return; // gaps would only echo the entries that could not be placed
            order.push_back(i);
        }
        if (m_check.entries.size() != m_entryCount)
            return;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return m_spans[a].start < m_spans[b].start; });
        uint64_t expected = 0;
        size_t previous = 0;
        for (size_t i : order) {
            const EntrySpan& span = m_spans[i];
            if (span.start > expected)
                Problem(std::to_string(span.start - expected) + " bytes at " + At(expected) + " belong to no entry");
            else if (span.start < expected)
                EntryProblem(i, "its local header at " + At(span.start) + " lies inside \"" +
                                    m_check.entries[previous].name + "\"");
            if (span.end > expected) {
                expected = span.end;
                previous = i;
            }
        }
        if (expected < m_centralOffset)
            Problem(std::to_string(m_centralOffset - expected) + " bytes at " + At(expected) + " belong to no entry");
    }

    void CheckNames()
    {
        std::vector<std::string> names;
        for (const auto& entry : m_check.entries)
            names.push_back(entry.name);
        std::string collision = EntryCollisionProblem(names);
        if (!collision.empty())
            Problem(collision);
    }

    void CheckData(unsigned threads)
    {
        std::vector<ZipDataJob> jobs;
        std::vector<size_t> owners;
        for (size_t i = 0; i < m_check.entries.size(); ++i) {
            const ZipEntryCheck& entry = m_check.entries[i];
            bool readable = m_spans[i].known && (entry.method == 0 || entry.method == 8) &&
                            !(entry.flags & FLAGS_ENCRYPTED);
            if (!readable)
                continue;
            ZipDataJob job;
            job.dataOffset = m_spans[i].dataOffset;
            job.compressedSize = static_cast<uint32_t>(entry.compressedSize);
            job.size = static_cast<uint32_t>(entry.size);
            job.crc32 = entry.crc32;
            job.method = entry.method;
            jobs.push_back(job);
            owners.push_back(i);
        }
        CheckZipData(m_zip, jobs, threads);
        for (size_t j = 0; j < jobs.size(); ++j) {
            if (!jobs[j].problem.empty())
                EntryProblem(owners[j], jobs[j].problem);
            ZipEntryCheck& entry = m_check.entries[owners[j]];
            entry.verified = entry.problem.empty();
        }
    }

    const CArchiveBytes& m_zip;
    ZipCheck& m_check;
    Bytes m_window, m_central;
    const uint8_t* m_centralBase = nullptr;
    std::vector<size_t> m_centralHeaders; // offsets in the central directory
    std::vector<EntrySpan> m_spans;
    uint64_t m_end = 0;
    uint32_t m_centralOffset = 0, m_centralSize = 0;
    unsigned m_entryCount = 0;
};

} // namespace

std::string ZipOffsetText(const CArchiveBytes& zip, uint64_t offset)
{
    return zip.InFile() ? "file " + OffsetText(zip.FileOffset() + offset) : "archive " + OffsetText(offset);
}

void VerifyZip(const CArchiveBytes& zip, unsigned threads, ZipCheck& check)
{
    CZipVerifier(zip, check).Run(threads);
}
