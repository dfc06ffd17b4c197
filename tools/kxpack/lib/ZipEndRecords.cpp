#include "ZipEndRecords.h"

#include <algorithm>

#include "ZipVerify.h"

namespace {

class CEndReader {
public:
    explicit CEndReader(const CArchiveBytes& zip) : m_zip(zip) {}

    // The end record as the setup program finds it, and what it finds wrong
    // with it or with the ZIP64 end record and locator before it.
    ZipEndCheck Read(Bytes& window)
    {
        uint64_t size = m_zip.Size();
        if (size < ZIP_END_BYTES)
            return Problem("the archive is " + std::to_string(size) + " bytes, too short for a ZIP end record",
                           ZipRule::EndRecord);
        size_t tailBytes = static_cast<size_t>(std::min<uint64_t>(size, ZIP_TAIL_BYTES));
        uint64_t tailStart = size - tailBytes;
        const uint8_t* tail = m_zip.Read(tailStart, tailBytes, window);
        if (!tail)
            return Problem("the archive's end cannot be read", ZipRule::EndRecord);
        ZipProblem problem = ReadZipDirectory(tail, tailBytes, size, m_end.directory);
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
            text = DirectoryProblem(record, where,
                                    locator ? "the ZIP64 end record at " + At(m_end.directory.endStart) : where);
        if (problem != ZipProblem::None)
            return Problem(!text.empty() ? text : where + ": the setup program cannot read the archive's end records",
                           ZipProblemRule(problem, false));
        return m_end;
    }

private:
    std::string At(uint64_t offset) const { return ZipOffsetText(m_zip, offset); }

    ZipEndCheck Problem(const std::string& text, ZipRule rule)
    {
        m_end.problem = text;
        m_end.rule = rule;
        return m_end;
    }

    // No end record the setup program takes: the nearest thing to one is
    // the last signature that leaves room for a whole record.
    ZipEndCheck NoEndRecord(const uint8_t* tail, size_t tailBytes, uint64_t tailStart)
    {
        for (size_t at = tailBytes - ZIP_END_BYTES;; --at) {
            if (ReadU32(tail + at) == ZIP_END_SIGNATURE)
                return Problem("the end record at " + At(tailStart + at) + " says a comment of " +
                                   std::to_string(ReadU16(tail + at + 20)) + " bytes follows it, but " +
                                   std::to_string(tailBytes - at - ZIP_END_BYTES) + " do",
                               ZipRule::EndRecord);
            if (at == 0)
                break;
        }
        return Problem("no ZIP end record in the archive's last " + std::to_string(tailBytes) + " bytes",
                       ZipRule::EndRecord);
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

    // `record` is the end record, named `end`; `where` names the record the
    // directory's place was taken from.
    std::string DirectoryProblem(const uint8_t* record, const std::string& end, const std::string& where)
    {
        const TZipDirectory& d = m_end.directory;
        if (d.offset > d.endStart || d.endStart - d.offset != d.size)
            return where + " puts the central directory at " + At(d.offset) + ", " + std::to_string(d.size) +
                   " bytes long, which does not end where the end records begin, at " + At(d.endStart);
        if (d.entries == 0)
            return where + " counts no entries: an archive for the setup program holds at least one";
        if (d.zip64) {
            // Beside a ZIP64 end record, each field of the end record is its
            // mark or the same value.
            struct Field {
                const char* what;
                uint64_t value, mark, wide;
            };
            const Field fields[] = {
                {"entries on this disk", ReadU16(record + 8), ZIP64_MARK_16, d.entries},
                {"entries", ReadU16(record + 10), ZIP64_MARK_16, d.entries},
                {"central directory size", ReadU32(record + 12), ZIP64_MARK_32, d.size},
                {"central directory offset", ReadU32(record + 16), ZIP64_MARK_32, d.offset},
            };
            for (const Field& field : fields)
                if (field.value != field.mark && field.value != field.wide)
                    return end + " says " + field.what + " " + std::to_string(field.value) + ", its ZIP64 end record " +
                           std::to_string(field.wide);
        }
        return where + " counts " + std::to_string(d.entries) + " entries, more than a central directory of " +
               std::to_string(d.size) + " bytes holds";
    }

    const CArchiveBytes& m_zip;
    ZipEndCheck m_end;
};

} // namespace

ZipEndCheck ReadZipEnd(const CArchiveBytes& zip, Bytes& window)
{
    return CEndReader(zip).Read(window);
}
