#include "archive/ArchiveCheck.h"

#include <windows.h>

#include <cstdlib>

#include "archive/ArchiveSource.h"
#include "archive/ZipContract.h"
#include "archive/ZipDirectory.h"

namespace {

// Local headers are read through a window: the headers of small files lie
// close together and come in one read; the header of a larger file is read
// alone, as a read of its data would cost more than the call it saves.
const uint32_t LOCAL_WINDOW_BYTES = 64 * 1024;
const uint32_t SMALL_ENTRY_BYTES = 16 * 1024;
// Room for the local header's name and extra field beyond the central's.
const uint32_t LOCAL_HEADER_SLACK = 256;

bool FailRule(ZipRule rule)
{
    SetLastError(ZipRuleError(rule));
    return false;
}

class CLocalHeaders {
public:
    explicit CLocalHeaders(CArchiveReader& reader) : m_reader(reader) {}
    ~CLocalHeaders() { free(m_pBuffer); }
    CLocalHeaders(const CLocalHeaders&) = delete;
    CLocalHeaders& operator=(const CLocalHeaders&) = delete;

    // Rule 5 for one entry; `entriesEnd` is where the central directory begins.
    bool Check(const TZipEntry& entry, const uint8_t* name, uint64_t entriesEnd)
    {
        if (entry.localOffset >= entriesEnd || entriesEnd - entry.localOffset < ZIP_LOCAL_BYTES)
            return FailRule(ZipRule::LocalHeader);
        const uint8_t* header = nullptr;
        uint64_t room = entriesEnd - entry.localOffset;
        // The next entry's header most likely follows this one's data.
        uint64_t expected = ZIP_LOCAL_BYTES + entry.nameLength + entry.extraLength + LOCAL_HEADER_SLACK;
        bool small = entry.compressedSize < SMALL_ENTRY_BYTES;
        if (!Fill(entry.localOffset, small ? LOCAL_WINDOW_BYTES : expected, ZIP_LOCAL_BYTES, room, &header))
            return false;
        size_t bytes = ZIP_LOCAL_BYTES + (header[26] | header[27] << 8) + (header[28] | header[29] << 8);
        if (bytes > room)
            return FailRule(ZipRule::LocalHeader);
        if (!Fill(entry.localOffset, bytes, bytes, room, &header))
            return false;
        size_t headerBytes = 0;
        if (CheckZipLocal(header, bytes, entry, name, &headerBytes) != ZipProblem::None)
            return FailRule(ZipRule::LocalHeader);
        // The data lies inside the entries too.
        if (room - headerBytes < entry.compressedSize)
            return FailRule(ZipRule::LocalHeader);
        return true;
    }

private:
    // `needed` bytes from `position` in the window; when they are not
    // there, `want` bytes (at least `needed`, at most `room`) are read.
    bool Fill(uint64_t position, size_t want, size_t needed, uint64_t room, const uint8_t** at)
    {
        if (position < m_start || position - m_start + needed > m_bytes) {
            if (want < needed)
                want = needed;
            if (want > room)
                want = static_cast<size_t>(room);
            if (want > m_capacity) {
                free(m_pBuffer);
                m_capacity = want > LOCAL_WINDOW_BYTES ? want : LOCAL_WINDOW_BYTES;
                m_pBuffer = static_cast<uint8_t*>(malloc(m_capacity + PAD));
                if (!m_pBuffer) {
                    m_capacity = 0;
                    return FailRule(ZipRule::NoMemory);
                }
            }
            m_bytes = 0;
            // Padded: one call, wherever the window starts.
            if (!m_reader.ReadAtPadded(position, m_pBuffer + PAD, static_cast<uint32_t>(want)))
                return false;
            m_start = position;
            m_bytes = want;
        }
        *at = m_pBuffer + PAD + (position - m_start);
        return true;
    }

    static const size_t PAD = 16;

    CArchiveReader& m_reader;
    uint8_t* m_pBuffer = nullptr;
    size_t m_capacity = 0;
    uint64_t m_start = 0;
    size_t m_bytes = 0;
};

} // namespace

bool CheckArchiveContract(CArchiveReader& reader, CZipDirectory& directory, TArchiveTotals& totals)
{
    totals = TArchiveTotals();
    CZipNameIndex index;
    CLocalHeaders locals(reader);
    const uint64_t entriesEnd = directory.Get().offset;
    char16_t name[ENTRY_NAME_CAPACITY];
    directory.Rewind();
    TZipEntry entry;
    const uint8_t* stored = nullptr;
    while (directory.Next(entry, &stored)) {
        size_t units = 0;
        ZipRule rule = CheckZipEntry(entry, stored, name, &units);
        if (rule != ZipRule::None)
            return FailRule(rule);
        if (!index.Add(name, units, directory.GetIndex() - 1))
            return FailRule(ZipRule::NoMemory);
        if (!locals.Check(entry, stored, entriesEnd))
            return false;
        if (UINT64_MAX - totals.bytes < entry.uncompressedSize)
            return FailRule(ZipRule::Sizes);
        totals.bytes += entry.uncompressedSize;
        ++totals.entries;
        if (!IsFolderEntryName(name, units))
            ++totals.files;
        size_t folder = EntryFolderUnits(name, units);
        if (units > totals.longestName)
            totals.longestName = static_cast<unsigned>(units);
        if (folder > totals.longestFolder)
            totals.longestFolder = static_cast<unsigned>(folder);
    }
    if (GetLastError() != ERROR_NO_MORE_ITEMS)
        return false; // the directory's own damage: ZipDirectory named it
    uint64_t broken = 0, other = 0;
    ZipRule rule = index.Check(&broken, &other);
    if (rule != ZipRule::None)
        return FailRule(rule);
    directory.Rewind();
    return true;
}
