#include "ZipVerify.h"

#include <algorithm>
#include <cstdio>

#include "EntryNames.h"
#include "ZipEntryData.h"
#include "archive/ZipFormat.h"

namespace {

const uint32_t DESCRIPTOR_SIGNATURE = 0x08074B50;
// Traditional and strong encryption, and masked local headers.
const uint16_t FLAGS_ENCRYPTED = ZIP_FLAG_ENCRYPTED | ZIP_FLAG_STRONG_ENCRYPTION | ZIP_FLAG_MASKED_HEADER;

uint64_t ReadU64(const uint8_t* p)
{
    return static_cast<uint64_t>(ReadU32(p)) | static_cast<uint64_t>(ReadU32(p + 4)) << 32;
}

std::string Hex(uint64_t value, int digits)
{
    char text[32];
    snprintf(text, sizeof(text), "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

// Extra fields are (id, size, data) blocks filling the field exactly. The
// first ZIP64 block's data is where the setup program takes wide values.
bool ReadExtra(const uint8_t* extra, size_t size, const uint8_t** zip64, size_t* zip64Bytes)
{
    *zip64 = nullptr;
    *zip64Bytes = 0;
    size_t at = 0;
    while (size - at >= 4) {
        size_t block = ReadU16(extra + at + 2);
        if (block > size - at - 4)
            return false;
        if (ReadU16(extra + at) == ZIP64_EXTRA_ID && !*zip64) {
            *zip64 = extra + at + 4;
            *zip64Bytes = block;
        }
        at += 4 + block;
    }
    return at == size;
}

// "size and compressed size": the fields a header marks 0xFFFFFFFF.
std::string FieldList(const std::vector<const char*>& names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + std::string(names[i]);
    return text;
}

// Where an entry's bytes lie, once its local header has been read.
struct EntrySpan {
    uint64_t start = 0, end = 0; // local header to the end of its data (and descriptor)
    uint64_t dataOffset = 0;
    bool known = false;          // the local header was read and its data lies inside
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

    // The end records, read by the setup program's own rules
    // (ReadZipDirectory); what it refuses is named here in detail.
    bool ReadEnd()
    {
        uint64_t size = m_zip.Size();
        if (size < ZIP_END_BYTES) {
            Problem("the archive is " + std::to_string(size) + " bytes, too short for a ZIP end record");
            return false;
        }
        size_t tailBytes = static_cast<size_t>(std::min<uint64_t>(size, ZIP_TAIL_BYTES));
        uint64_t tailStart = size - tailBytes;
        const uint8_t* tail = m_zip.Read(tailStart, tailBytes, m_tail);
        if (!tail) {
            Problem("the archive's end cannot be read");
            return false;
        }
        ZipProblem problem = ReadZipDirectory(tail, tailBytes, size, m_directory);
        // The end record as the setup program finds it: the last one whose
        // comment reaches exactly to the end.
        size_t at = tailBytes - ZIP_END_BYTES;
        for (;;) {
            if (ReadU32(tail + at) == ZIP_END_SIGNATURE && at + ZIP_END_BYTES + ReadU16(tail + at + 20) == tailBytes)
                break;
            if (at == 0 || tailBytes - ZIP_END_BYTES - at >= ZIP_MAX_COMMENT_BYTES)
                return NoEndRecord(tail, tailBytes, tailStart);
            --at;
        }
        const uint8_t* record = tail + at;
        std::string where = "the end record at " + At(tailStart + at);
        bool locator = at >= ZIP64_LOCATOR_BYTES && ReadU32(record - ZIP64_LOCATOR_BYTES) == ZIP64_LOCATOR_SIGNATURE;
        std::string text;
        if (locator && (problem == ZipProblem::BadZip64End || problem == ZipProblem::MultipleDisks))
            text = Zip64EndProblem(tail, at - ZIP64_LOCATOR_BYTES, tailStart);
        else if (problem == ZipProblem::MultipleDisks)
            text = EndDiskProblem(record, where);
        else if (problem == ZipProblem::BadDirectory)
            text = DirectoryProblem(locator ? "the ZIP64 end record at " + At(m_directory.endStart) : where);
        if (problem != ZipProblem::None) {
            Problem(!text.empty() ? text
                                  : where + ": the setup program cannot read the archive's end records");
            return false;
        }
        m_entryCount = m_directory.entries;
        m_centralOffset = m_directory.offset;
        m_centralSize = m_directory.size;
        if (m_entryCount == 0)
            Problem("the archive has no entries");
        if (m_directory.zip64)
            CheckMarkedEnd(record, where);
        return true;
    }

    // No end record the setup program takes: the nearest thing to one is
    // the last signature that leaves room for a whole record.
    bool NoEndRecord(const uint8_t* tail, size_t tailBytes, uint64_t tailStart)
    {
        for (size_t at = tailBytes - ZIP_END_BYTES;; --at) {
            if (ReadU32(tail + at) == ZIP_END_SIGNATURE) {
                Problem("the end record at " + At(tailStart + at) + " says a comment of " +
                        std::to_string(ReadU16(tail + at + 20)) + " bytes follows it, but " +
                        std::to_string(tailBytes - at - ZIP_END_BYTES) + " do");
                return false;
            }
            if (at == 0)
                break;
        }
        Problem("no ZIP end record in the archive's last " + std::to_string(tailBytes) + " bytes");
        return false;
    }

    std::string EndDiskProblem(const uint8_t* record, const std::string& where)
    {
        uint16_t disk = ReadU16(record + 4), centralDisk = ReadU16(record + 6);
        uint16_t entriesHere = ReadU16(record + 8), entries = ReadU16(record + 10);
        if (disk != 0 || centralDisk != 0)
            return where + " names disk " + std::to_string(disk ? disk : centralDisk) +
                   ": the setup program reads archives of one disk only";
        if (entriesHere != entries)
            return where + " counts " + std::to_string(entriesHere) + " entries on this disk and " +
                   std::to_string(entries) + " in all";
        return "";
    }

    // The locator at `locator` (in the tail) and the ZIP64 end record it
    // names, which must end where the locator begins.
    std::string Zip64EndProblem(const uint8_t* tail, size_t locator, uint64_t tailStart)
    {
        const uint8_t* p = tail + locator;
        std::string where = "the ZIP64 end locator at " + At(tailStart + locator);
        uint32_t disk = ReadU32(p + 4), disks = ReadU32(p + 16);
        uint64_t recordOffset = ReadU64(p + 8);
        if (disk != 0 || disks != 1)
            return where + " names disk " + std::to_string(disk) + " of " + std::to_string(disks) +
                   ": the setup program reads archives of one disk only";
        if (recordOffset < tailStart)
            return where + " puts the ZIP64 end record at " + At(recordOffset) + ", before the last " +
                   std::to_string(ZIP_TAIL_BYTES) + " bytes, where the setup program reads the end records";
        uint64_t before = tailStart + locator;
        if (recordOffset > before || before - recordOffset < ZIP64_END_BYTES)
            return where + " puts the ZIP64 end record at " + At(recordOffset) + ", which leaves no room for its " +
                   std::to_string(ZIP64_END_BYTES) + " bytes before the locator";
        const uint8_t* record = tail + (recordOffset - tailStart);
        std::string at = "the ZIP64 end record at " + At(recordOffset);
        if (ReadU32(record) != ZIP64_END_SIGNATURE)
            return "no ZIP64 end record at " + At(recordOffset) + ", where " + where + " puts it";
        if (ReadU64(record + 4) + 12 != before - recordOffset)
            return at + " says it is " + std::to_string(ReadU64(record + 4) + 12) + " bytes long, but its locator begins " +
                   std::to_string(before - recordOffset) + " bytes after its start";
        if (ReadU32(record + 16) != 0 || ReadU32(record + 20) != 0)
            return at + " names disk " + std::to_string(std::max(ReadU32(record + 16), ReadU32(record + 20))) +
                   ": the setup program reads archives of one disk only";
        if (ReadU64(record + 24) != ReadU64(record + 32))
            return at + " counts " + std::to_string(ReadU64(record + 24)) + " entries on this disk and " +
                   std::to_string(ReadU64(record + 32)) + " in all";
        return "";
    }

    std::string DirectoryProblem(const std::string& where)
    {
        const TZipDirectory& d = m_directory;
        if (d.offset > d.endStart || d.endStart - d.offset != d.size)
            return where + " puts the central directory at " + At(d.offset) + ", " + std::to_string(d.size) +
                   " bytes long, which does not end where the end records begin, at " + At(d.endStart);
        return where + " counts " + std::to_string(d.entries) + " entries, more than a central directory of " +
               std::to_string(d.size) + " bytes holds";
    }

    // Beside a ZIP64 end record, each field of the end record is its mark
    // or the same value.
    void CheckMarkedEnd(const uint8_t* record, const std::string& where)
    {
        struct Field {
            const char* what;
            uint64_t value, mark, wide;
        };
        const Field fields[] = {
            {"entries", ReadU16(record + 10), ZIP64_MARK_16, m_directory.entries},
            {"central directory size", ReadU32(record + 12), ZIP64_MARK_32, m_directory.size},
            {"central directory offset", ReadU32(record + 16), ZIP64_MARK_32, m_directory.offset},
        };
        for (const Field& field : fields)
            if (field.value != field.mark && field.value != field.wide)
                Problem(where + " says " + field.what + " " + std::to_string(field.value) +
                        ", its ZIP64 end record " + std::to_string(field.wide));
    }

    bool ReadCentral()
    {
        uint64_t length = m_centralSize;
        const uint8_t* directory = m_zip.Read(m_centralOffset, static_cast<size_t>(length), m_central);
        if (!directory) {
            Problem("the central directory at " + At(m_centralOffset) + " cannot be read");
            return false;
        }
        m_centralBase = directory;
        size_t at = 0;
        for (uint64_t i = 0; i < m_entryCount; ++i) {
            std::string where = "central directory header " + std::to_string(i + 1) + " at " +
                                At(m_centralOffset + at);
            if (length - at < ZIP_CENTRAL_BYTES) {
                Problem("the central directory ends at " + At(m_centralOffset + at) + ", after " +
                        std::to_string(i) + " of the " + std::to_string(m_entryCount) + " entries its end record counts");
                return true;
            }
            const uint8_t* header = directory + at;
            if (ReadU32(header) != ZIP_CENTRAL_SIGNATURE) {
                Problem(where + " has no header signature");
                return true;
            }
            size_t nameBytes = ReadU16(header + 28), extraBytes = ReadU16(header + 30);
            size_t commentBytes = ReadU16(header + 32);
            if (length - at - ZIP_CENTRAL_BYTES < nameBytes + extraBytes + commentBytes) {
                Problem(where + ": its name, extra field and comment run past the central directory");
                return true;
            }
            TZipEntry read;
            ZipProblem problem = ReadZipCentral(header, static_cast<size_t>(length - at), read, nullptr);
            ZipEntryCheck entry;
            entry.flags = ReadU16(header + 8);
            entry.method = ReadU16(header + 10);
            entry.crc32 = ReadU32(header + 16);
            // The 32-bit fields, unless the ZIP64 ones could be read.
            bool wide = problem == ZipProblem::None;
            entry.compressedSize = wide ? read.compressedSize : ReadU32(header + 20);
            entry.size = wide ? read.uncompressedSize : ReadU32(header + 24);
            entry.offset = wide ? read.localOffset : ReadU32(header + 42);
            entry.name.assign(reinterpret_cast<const char*>(header + ZIP_CENTRAL_BYTES), nameBytes);
            m_check.entries.push_back(entry);
            m_read.push_back(read);
            m_readProblems.push_back(problem);
            m_centralHeaders.push_back(at);
            at += ZIP_CENTRAL_BYTES + nameBytes + extraBytes + commentBytes;
        }
        if (at != length)
            Problem(std::to_string(length - at) + " bytes at " + At(m_centralOffset + at) +
                    " after the last central directory header belong to no entry");
        return true;
    }

    void CheckCentralFields(size_t index)
    {
        const ZipEntryCheck& entry = m_check.entries[index];
        const uint8_t* central = CentralHeader(index);
        std::string where = "its central header at " + At(m_centralOffset + m_centralHeaders[index]);
        size_t nameBytes = ReadU16(central + 28);
        const uint8_t* zip64;
        size_t zip64Bytes;
        if (!ReadExtra(central + ZIP_CENTRAL_BYTES + nameBytes, ReadU16(central + 30), &zip64, &zip64Bytes)) {
            EntryProblem(index, "the extra field of " + where.substr(4) + " is malformed");
        } else if (m_readProblems[index] == ZipProblem::MissingZip64) {
            std::vector<const char*> marked;
            if (ReadU32(central + 24) == ZIP64_MARK_32)
                marked.push_back("size");
            if (ReadU32(central + 20) == ZIP64_MARK_32)
                marked.push_back("compressed size");
            if (ReadU32(central + 42) == ZIP64_MARK_32)
                marked.push_back("local header offset");
            if (ReadU16(central + 34) == ZIP64_MARK_16)
                marked.push_back("disk");
            EntryProblem(index, where + " marks its " + FieldList(marked) + " as stored in a ZIP64 extra field, but " +
                                    (zip64 ? "its " + std::to_string(zip64Bytes) + "-byte ZIP64 field does not hold " +
                                                 (marked.size() > 1 ? "them all" : "it")
                                           : std::string("it has none")));
        } else if (m_readProblems[index] == ZipProblem::MultipleDisks) {
            uint64_t disk = m_read[index].diskStart ? m_read[index].diskStart : ReadU16(central + 34);
            EntryProblem(index, where + " puts it on disk " + std::to_string(disk));
        } else if (m_readProblems[index] != ZipProblem::None) {
            EntryProblem(index, where + " cannot be read by the setup program");
        }
        if (entry.flags & FLAGS_ENCRYPTED)
            EntryProblem(index, "encrypted entries cannot be extracted");
        if (entry.method != ZIP_METHOD_STORED && entry.method != ZIP_METHOD_DEFLATED)
            EntryProblem(index, "compression method " + std::to_string(entry.method) +
                                    " (only stored and deflated entries can be extracted)");
        if (entry.method == ZIP_METHOD_STORED && entry.compressedSize != entry.size)
            EntryProblem(index, "stored, but its compressed size " + std::to_string(entry.compressedSize) +
                                    " is not its size " + std::to_string(entry.size));
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
        if (m_readProblems[index] != ZipProblem::None)
            return; // its sizes and offset are not known
        const ZipEntryCheck& entry = m_check.entries[index];
        const uint8_t* central = CentralHeader(index);
        EntrySpan& span = m_spans[index];
        uint64_t offset = entry.offset;
        if (offset > m_centralOffset || m_centralOffset - offset < ZIP_LOCAL_BYTES) {
            EntryProblem(index, "its local header offset " + std::to_string(offset) +
                                    " lies outside the entries, which end at " + At(m_centralOffset));
            return;
        }
        const uint8_t* fixed = m_zip.Read(offset, ZIP_LOCAL_BYTES, m_window);
        std::string where = "its local header at " + At(offset);
        if (!fixed || ReadU32(fixed) != ZIP_LOCAL_SIGNATURE) {
            EntryProblem(index, "no local header at " + At(offset));
            return;
        }
        size_t nameBytes = ReadU16(fixed + 26), extraBytes = ReadU16(fixed + 28);
        uint64_t dataOffset = offset + ZIP_LOCAL_BYTES + nameBytes + extraBytes;
        if (dataOffset > m_centralOffset || entry.compressedSize > m_centralOffset - dataOffset) {
            EntryProblem(index, where + ": its name, extra field and " + std::to_string(entry.compressedSize) +
                                    " bytes of data run into the central directory at " + At(m_centralOffset));
            return;
        }
        size_t headerBytes = ZIP_LOCAL_BYTES + nameBytes + extraBytes;
        const uint8_t* local = m_zip.Read(offset, headerBytes, m_window);
        if (!local)
            return EntryProblem(index, where + " cannot be read");
        const uint8_t* zip64;
        size_t zip64Bytes;
        if (!ReadExtra(local + ZIP_LOCAL_BYTES + nameBytes, extraBytes, &zip64, &zip64Bytes))
            return EntryProblem(index, "the extra field of " + where.substr(4) + " is malformed");
        // Marked sizes stand in its ZIP64 field: uncompressed, then compressed.
        uint64_t sizes[2] = {ReadU32(local + 22), ReadU32(local + 18)};
        size_t taken = 0;
        for (uint64_t& value : sizes) {
            if (value != ZIP64_MARK_32)
                continue;
            if (!zip64 || zip64Bytes - taken < 8)
                return EntryProblem(index, where + " marks its sizes as stored in a ZIP64 extra field, but " +
                                               (zip64 ? "its ZIP64 field does not hold them" : "it has none"));
            value = ReadU64(zip64 + taken);
            taken += 8;
        }
        // Not the version needed: the setup program does not read it, and
        // zip -fz writes 4.5 in a folder's local header and 1.0 in its central one.
        struct Field {
            const char* what;
            uint64_t local, central;
            int digits;         // shown in hexadecimal with this many digits; 0: decimal
            bool inDescriptor;  // may be left 0 here when a data descriptor follows the data
        };
        uint16_t flags = ReadU16(local + 6);
        bool descriptor = (flags & ZIP_FLAG_DESCRIPTOR) != 0;
        const Field fields[] = {
            {"flags", flags, entry.flags, 4, false},
            {"compression method", ReadU16(local + 8), entry.method, 0, false},
            {"modification time", ReadU32(local + 10), ReadU32(central + 12), 8, false},
            {"CRC-32", ReadU32(local + 14), entry.crc32, 8, true},
            {"compressed size", sizes[1], entry.compressedSize, 0, true},
            {"size", sizes[0], entry.size, 0, true},
            {"name length", nameBytes, ReadU16(central + 28), 0, false},
        };
        for (const Field& field : fields) {
            if (field.local == field.central || (descriptor && field.inDescriptor && field.local == 0))
                continue;
            auto text = [&](uint64_t value) { return field.digits ? Hex(value, field.digits) : std::to_string(value); };
            EntryProblem(index, where + " says " + field.what + " " + text(field.local) +
                                    ", the central directory " + text(field.central));
            return;
        }
        std::string name(reinterpret_cast<const char*>(local + ZIP_LOCAL_BYTES), nameBytes);
        if (name != entry.name)
            return EntryProblem(index, where + " names it \"" + name + "\"");
        // The setup program's own comparison, for anything not named above.
        if (CheckZipLocal(local, headerBytes, m_read[index], central + ZIP_CENTRAL_BYTES, nullptr) != ZipProblem::None)
            return EntryProblem(index, where + " does not agree with its central header as the setup program reads them");
        span.start = offset;
        span.dataOffset = dataOffset;
        span.end = dataOffset + entry.compressedSize;
        if (descriptor && !ReadDescriptor(index, span, zip64 != nullptr))
            return;
        span.known = true;
    }

    // The data descriptor behind the data, with or without its signature;
    // its sizes are 8 bytes each after a local header with a ZIP64 field,
    // else 4 (the other width is taken too, as some writers use it).
    bool ReadDescriptor(size_t index, EntrySpan& span, bool zip64)
    {
        const ZipEntryCheck& entry = m_check.entries[index];
        uint64_t room = m_centralOffset - span.end;
        size_t available = static_cast<size_t>(std::min<uint64_t>(room, 24));
        const uint8_t* d = m_zip.Read(span.end, available, m_window);
        for (bool wide : {zip64, !zip64}) {
            for (bool signature : {true, false}) {
                size_t bytes = (signature ? 4 : 0) + 4 + (wide ? 16 : 8);
                if (!d || available < bytes || (signature && ReadU32(d) != DESCRIPTOR_SIGNATURE))
                    continue;
                const uint8_t* fields = d + (signature ? 4 : 0);
                uint64_t compressed = wide ? ReadU64(fields + 4) : ReadU32(fields + 4);
                uint64_t size = wide ? ReadU64(fields + 12) : ReadU32(fields + 8);
                if (ReadU32(fields) == entry.crc32 && compressed == entry.compressedSize && size == entry.size) {
                    span.end += bytes;
                    return true;
                }
            }
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
            bool readable = m_spans[i].known &&
                            (entry.method == ZIP_METHOD_STORED || entry.method == ZIP_METHOD_DEFLATED) &&
                            !(entry.flags & FLAGS_ENCRYPTED);
            if (!readable)
                continue;
            ZipDataJob job;
            job.dataOffset = m_spans[i].dataOffset;
            job.compressedSize = entry.compressedSize;
            job.size = entry.size;
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
    Bytes m_window, m_central, m_tail;
    const uint8_t* m_centralBase = nullptr;
    TZipDirectory m_directory;
    std::vector<size_t> m_centralHeaders; // offsets in the central directory
    std::vector<TZipEntry> m_read;        // each central header as the setup program reads it
    std::vector<ZipProblem> m_readProblems;
    std::vector<EntrySpan> m_spans;
    uint64_t m_centralOffset = 0, m_centralSize = 0;
    uint64_t m_entryCount = 0;
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
