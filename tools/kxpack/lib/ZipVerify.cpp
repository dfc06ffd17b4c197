#include "ZipVerify.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "EntryNames.h"
#include "ShownText.h"
#include "TextCodec.h"
#include "ZipEndRecords.h"
#include "ZipEntryData.h"

namespace {

const uint32_t DESCRIPTOR_SIGNATURE = 0x08074B50;

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

bool IsAscii(const uint8_t* bytes, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (bytes[i] >= 0x80)
            return false;
    return true;
}

// Where an entry's bytes lie, once its local header has been read.
struct EntrySpan {
    uint64_t start = 0, end = 0; // local header to the end of its data (and descriptor)
    uint64_t dataOffset = 0;
    bool known = false;          // the local header was read and its data lies inside
};

// What is known of an entry beyond what its check reports.
struct EntryState {
    size_t header = 0;           // its central header's offset in the central directory
    TZipEntry read;              // its central header as the setup program reads it
    ZipProblem readProblem = ZipProblem::None;
    uint16_t nameFlags = 0;      // the flags its name is decoded by
    NameProblem nameProblem = NameProblem::None;
    std::u16string name;         // decoded, when it decodes
    EntrySpan span;
};

class CZipVerifier {
public:
    CZipVerifier(const CArchiveBytes& zip, const ZipVerifyOptions& options, ZipCheck& check)
        : m_zip(zip), m_options(options), m_check(check)
    {
    }

    // The contract in the setup program's order: the end records, then each
    // entry's central header, name, method and sizes, and local header; the
    // directory's end; the names against each other. Then what only kxpack
    // checks: the layout and the data.
    void Run()
    {
        m_check = ZipCheck();
        if (!ReadEnd() || !ReadCentral())
            return;
        for (size_t i = 0; i < m_check.entries.size(); ++i) {
            CheckCentralFields(i);
            CheckEntry(i);
            ReadLocal(i);
            CheckReservedName(i);
        }
        // The setup program meets a broken or missing header only when it
        // comes to it, after the entries before it.
        if (!m_directoryProblem.empty())
            Problem(m_directoryProblem, m_directoryRule);
        CheckNames();
        CheckLayout();
        CheckData();
    }

private:
    std::string At(uint64_t offset) const { return ZipOffsetText(m_zip, offset); }

    void Problem(const std::string& text, ZipRule rule)
    {
        if (m_check.problems.empty())
            m_check.rule = rule;
        m_check.problems.push_back(text);
    }

    // The first problem of an entry is kept with it and reported; later ones
    // add nothing the user needs to find the damage.
    void EntryProblem(size_t index, const std::string& text, ZipRule rule)
    {
        ZipEntryCheck& entry = m_check.entries[index];
        if (!entry.problem.empty())
            return;
        entry.problem = text;
        entry.rule = rule;
        Problem("\"" + ShownText(entry.name) + "\": " + text, rule);
    }

    // The end records, read by the setup program's own rules; what it
    // refuses is named in detail.
    bool ReadEnd()
    {
        ZipEndCheck end = ReadZipEnd(m_zip, m_tail);
        if (!end.problem.empty()) {
            Problem(end.problem, end.rule);
            return false;
        }
        m_directory = end.directory;
        m_centralOffset = m_directory.offset;
        m_centralSize = m_directory.size;
        return true;
    }

    // Every central header the directory holds, up to the first that does
    // not read; what ends the walk early is told once the entries before it
    // have been checked, where the setup program meets it.
    bool ReadCentral()
    {
        uint64_t length = m_centralSize;
        // Held only as far as its headers reach, not as far as the end record
        // claims: the claim may be a hole of a sparse file.
        uint64_t reach = m_zip.InMemory() ? length : CentralReach();
        const uint8_t* directory = m_zip.Read(m_centralOffset, static_cast<size_t>(reach), m_central);
        if (!directory) {
            Problem("the central directory at " + At(m_centralOffset) + " cannot be read", ZipRule::Directory);
            return false;
        }
        m_centralBase = directory;
        size_t at = 0;
        for (uint64_t i = 0; i < m_directory.entries; ++i) {
            std::string where = "central directory header " + std::to_string(i + 1) + " at " +
                                At(m_centralOffset + at);
            if (length - at < ZIP_CENTRAL_BYTES) {
                DirectoryEnd("the central directory ends at " + At(m_centralOffset + at) + ", after " +
                                 std::to_string(i) + " of the " + std::to_string(m_directory.entries) +
                                 " entries its end record counts",
                             ZipRule::Directory);
                return true;
            }
            const uint8_t* header = directory + at;
            if (ReadU32(header) != ZIP_CENTRAL_SIGNATURE) {
                DirectoryEnd(where + " has no header signature", ZipRule::Header);
                return true;
            }
            size_t nameBytes = ReadU16(header + 28), extraBytes = ReadU16(header + 30);
            size_t commentBytes = ReadU16(header + 32);
            if (length - at - ZIP_CENTRAL_BYTES < nameBytes + extraBytes + commentBytes) {
                DirectoryEnd(where + ": its name, extra field and comment run past the central directory",
                             ZipRule::Header);
                return true;
            }
            EntryState state;
            state.header = at;
            state.readProblem = ReadZipCentral(header, static_cast<size_t>(reach - at), state.read, nullptr);
            ZipEntryCheck entry;
            entry.flags = ReadU16(header + 8);
            entry.method = ReadU16(header + 10);
            entry.crc32 = ReadU32(header + 16);
            // The 32-bit fields, unless the ZIP64 ones could be read.
            bool wide = state.readProblem == ZipProblem::None;
            entry.compressedSize = wide ? state.read.compressedSize : ReadU32(header + 20);
            entry.size = wide ? state.read.uncompressedSize : ReadU32(header + 24);
            entry.offset = wide ? state.read.localOffset : ReadU32(header + 42);
            entry.centralOffset = m_centralOffset + at;
            DecodeName(header + ZIP_CENTRAL_BYTES, nameBytes, entry, state);
            m_check.entries.push_back(entry);
            m_states.push_back(state);
            at += ZIP_CENTRAL_BYTES + nameBytes + extraBytes + commentBytes;
        }
        if (at != length && length - at >= 4 && ReadU32(directory + at) == ZIP_CENTRAL_SIGNATURE)
            DirectoryEnd("the end record counts " + std::to_string(m_directory.entries) +
                             " entries, but the central directory holds another header at " +
                             At(m_centralOffset + at),
                         ZipRule::Directory);
        else if (at != length)
            DirectoryEnd(std::to_string(length - at) + " bytes at " + At(m_centralOffset + at) +
                             " after the last central directory header belong to no entry",
                         ZipRule::Directory);
        return true;
    }

    // How far ReadCentral's walk will reach into the central directory (and
    // the 4 bytes it then looks at), found by the same walk over the fixed
    // parts of the headers, a megabyte at a time, keeping none of them.
    uint64_t CentralReach()
    {
        const uint64_t STEP = 1 << 20;
        const uint64_t length = m_centralSize;
        Bytes window;
        const uint8_t* piece = nullptr;
        uint64_t start = 0, held = 0, at = 0; // `piece` holds [start, start + held)
        for (uint64_t i = 0; i < m_directory.entries && length - at >= ZIP_CENTRAL_BYTES; ++i) {
            if (at + ZIP_CENTRAL_BYTES > start + held) {
                start = at;
                held = std::min(length - at, STEP);
                if (!(piece = m_zip.Read(m_centralOffset + start, static_cast<size_t>(held), window)))
                    return length; // ReadCentral tells
            }
            const uint8_t* header = piece + (at - start);
            uint64_t variable = uint64_t(ReadU16(header + 28)) + ReadU16(header + 30) + ReadU16(header + 32);
            if (ReadU32(header) != ZIP_CENTRAL_SIGNATURE || length - at - ZIP_CENTRAL_BYTES < variable)
                break;
            at += ZIP_CENTRAL_BYTES + variable;
        }
        return std::min(length, at + 4);
    }

    void DirectoryEnd(const std::string& text, ZipRule rule)
    {
        m_directoryProblem = text;
        m_directoryRule = rule;
    }

    // The name by its flags, as the setup program decodes it, or by the
    // options; shown decoded, or as its bytes when it does not decode.
    void DecodeName(const uint8_t* stored, size_t bytes, ZipEntryCheck& entry, EntryState& state)
    {
        state.nameFlags = entry.flags;
        if (m_options.unflaggedUtf8 && !(entry.flags & ZIP_FLAG_UTF8) && !IsAscii(stored, bytes)) {
            // UTF-8 never takes more units than bytes.
            std::vector<char16_t> units(bytes);
            size_t count = 0;
            if (DecodeUtf8Name(stored, bytes, units.data(), units.size(), &count)) {
                state.nameFlags |= ZIP_FLAG_UTF8;
                entry.utf8Taken = true;
            }
        }
        char16_t name[ENTRY_NAME_CAPACITY];
        size_t units = 0;
        state.nameProblem = DecodeEntryName(stored, bytes, state.nameFlags, name, &units);
        std::string raw(reinterpret_cast<const char*>(stored), bytes);
        if (state.nameProblem != NameProblem::None) {
            entry.name = raw;
            return;
        }
        state.name.assign(name, units);
        state.nameProblem = CheckEntryName(name, units);
        entry.name = ToUtf8(state.name);
    }

    const uint8_t* CentralHeader(size_t index) const
    {
        // The central directory was read into m_central, or stands in memory.
        return m_centralBase + m_states[index].header;
    }

    void CheckCentralFields(size_t index)
    {
        const EntryState& state = m_states[index];
        const uint8_t* central = CentralHeader(index);
        std::string where = "its central header at " + At(m_centralOffset + state.header);
        size_t nameBytes = ReadU16(central + 28);
        const uint8_t* zip64;
        size_t zip64Bytes;
        if (!ReadExtra(central + ZIP_CENTRAL_BYTES + nameBytes, ReadU16(central + 30), &zip64, &zip64Bytes)) {
            EntryProblem(index, "the extra field of " + where.substr(4) + " is malformed", ZipRule::Header);
        } else if (state.readProblem == ZipProblem::MissingZip64) {
            std::vector<const char*> marked;
            if (ReadU32(central + 24) == ZIP64_MARK_32)
                marked.push_back("size");
            if (ReadU32(central + 20) == ZIP64_MARK_32)
                marked.push_back("compressed size");
            if (ReadU32(central + 42) == ZIP64_MARK_32)
                marked.push_back("local header offset");
            if (ReadU16(central + 34) == ZIP64_MARK_16)
                marked.push_back("disk");
            EntryProblem(index,
                         where + " marks its " + FieldList(marked) + " as stored in a ZIP64 extra field, but " +
                             (zip64 ? "its " + std::to_string(zip64Bytes) + "-byte ZIP64 field does not hold " +
                                          (marked.size() > 1 ? "them all" : "it")
                                    : std::string("it has none")),
                         ZipRule::Header);
        } else if (state.readProblem == ZipProblem::MultipleDisks) {
            uint64_t disk = state.read.diskStart ? state.read.diskStart : ReadU16(central + 34);
            EntryProblem(index, where + " puts it on disk " + std::to_string(disk), ZipRule::Disks);
        } else if (state.readProblem != ZipProblem::None) {
            EntryProblem(index, where + " cannot be read by the setup program", ZipRule::Header);
        }
    }

    // Name, encryption, method and sizes by the setup program's own check
    // (CheckZipEntry), each named in detail.
    void CheckEntry(size_t index)
    {
        const EntryState& state = m_states[index];
        if (state.readProblem != ZipProblem::None)
            return; // the setup program stops at the header
        TZipEntry entry = state.read;
        entry.flags = state.nameFlags;
        char16_t name[ENTRY_NAME_CAPACITY];
        size_t units = 0;
        ZipRule rule = CheckZipEntry(entry, CentralHeader(index) + ZIP_CENTRAL_BYTES, name, &units);
        switch (rule) {
        case ZipRule::None:
            return;
        case ZipRule::NameEncoding:
        case ZipRule::Name:
        case ZipRule::NameLength:
            return EntryProblem(index, NameText(index), rule);
        case ZipRule::Encrypted:
            return EntryProblem(index, "encrypted entries cannot be extracted", rule);
        case ZipRule::Method:
            return EntryProblem(index, "compression method " + std::to_string(entry.method) +
                                           " (only stored and deflated entries can be extracted)", rule);
        case ZipRule::Sizes:
            return EntryProblem(index, SizesText(entry, IsFolderEntryName(name, units)), rule);
        default:
            return EntryProblem(index, ZipRuleText(rule), rule);
        }
    }

    std::string NameText(size_t index) const
    {
        const EntryState& state = m_states[index];
        size_t bytes = state.read.nameLength;
        const uint8_t* stored = CentralHeader(index) + ZIP_CENTRAL_BYTES;
        if (state.nameProblem == NameProblem::Length && state.name.empty())
            return "its name is " + std::to_string(bytes) + " bytes long, more than any name of " +
                   std::to_string(MAX_ENTRY_NAME) + " UTF-16 units takes";
        if (state.nameProblem != NameProblem::Encoding)
            return NameProblemText(state.nameProblem, state.name);
        for (size_t i = 0; i < bytes; ++i)
            if (stored[i] == 0)
                return "its name holds a zero byte";
        if (state.nameFlags & ZIP_FLAG_UTF8)
            return "its name is flagged as UTF-8 (general-purpose bit 11), but its bytes are not UTF-8";
        return std::string("its name is stored without the UTF-8 flag (general-purpose bit 11) in bytes that are "
                           "not ASCII: the setup program would read it in each user's ANSI code page, another "
                           "name on each system; make the archive with UTF-8 names") +
               (m_options.unflaggedUtf8 ? " (kxpack takes such names as UTF-8 where they are, but these bytes "
                                          "are not UTF-8 either)"
                                        : "");
    }

    static std::string SizesText(const TZipEntry& entry, bool folder)
    {
        if (entry.method == ZIP_METHOD_STORED && entry.compressedSize != entry.uncompressedSize)
            return "stored, but its compressed size " + std::to_string(entry.compressedSize) + " is not its size " +
                   std::to_string(entry.uncompressedSize);
        if (entry.uncompressedSize == 0)
            return "empty, but its CRC-32 is " + Hex(entry.crc32, 8) + ", where the CRC-32 of no bytes is 0";
        if (folder)
            return "a folder entry that holds " + std::to_string(entry.uncompressedSize) + " bytes of data";
        return ZipRuleText(ZipRule::Sizes);
    }

    void ReadLocal(size_t index)
    {
        EntryState& state = m_states[index];
        if (state.readProblem != ZipProblem::None)
            return; // its sizes and offset are not known
        const ZipEntryCheck& entry = m_check.entries[index];
        const uint8_t* central = CentralHeader(index);
        EntrySpan& span = state.span;
        uint64_t offset = entry.offset;
        auto fail = [&](const std::string& text) { EntryProblem(index, text, ZipRule::LocalHeader); };
        if (offset > m_centralOffset || m_centralOffset - offset < ZIP_LOCAL_BYTES)
            return fail("its local header offset " + std::to_string(offset) + " lies outside the entries, which end at " +
                        At(m_centralOffset));
        const uint8_t* fixed = m_zip.Read(offset, ZIP_LOCAL_BYTES, m_window);
        std::string where = "its local header at " + At(offset);
        if (!fixed || ReadU32(fixed) != ZIP_LOCAL_SIGNATURE)
            return fail("no local header at " + At(offset));
        size_t nameBytes = ReadU16(fixed + 26), extraBytes = ReadU16(fixed + 28);
        uint64_t dataOffset = offset + ZIP_LOCAL_BYTES + nameBytes + extraBytes;
        if (dataOffset > m_centralOffset || entry.compressedSize > m_centralOffset - dataOffset)
            return fail(where + ": its name, extra field and " + std::to_string(entry.compressedSize) +
                        " bytes of data run into the central directory at " + At(m_centralOffset));
        size_t headerBytes = ZIP_LOCAL_BYTES + nameBytes + extraBytes;
        const uint8_t* local = m_zip.Read(offset, headerBytes, m_window);
        if (!local)
            return fail(where + " cannot be read");
        const uint8_t* zip64;
        size_t zip64Bytes;
        if (!ReadExtra(local + ZIP_LOCAL_BYTES + nameBytes, extraBytes, &zip64, &zip64Bytes))
            return fail("the extra field of " + where.substr(4) + " is malformed");
        // Marked sizes stand in its ZIP64 field: uncompressed, then compressed.
        uint64_t sizes[2] = {ReadU32(local + 22), ReadU32(local + 18)};
        size_t taken = 0;
        for (uint64_t& value : sizes) {
            if (value != ZIP64_MARK_32)
                continue;
            if (!zip64 || zip64Bytes - taken < 8)
                return fail(where + " marks its sizes as stored in a ZIP64 extra field, but " +
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
            return fail(where + " says " + field.what + " " + text(field.local) + ", the central directory " +
                        text(field.central));
        }
        if (memcmp(local + ZIP_LOCAL_BYTES, central + ZIP_CENTRAL_BYTES, nameBytes) != 0)
            return fail(where + " names it \"" +
                        ShownText(std::string(reinterpret_cast<const char*>(local + ZIP_LOCAL_BYTES), nameBytes)) +
                        "\"");
        // The setup program's own comparison, for anything not named above.
        if (CheckZipLocal(local, headerBytes, state.read, central + ZIP_CENTRAL_BYTES, nullptr) != ZipProblem::None)
            return fail(where + " does not agree with its central header as the setup program reads them");
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
        EntryProblem(index, "its data descriptor at " + At(span.end) + " does not match the central directory",
                     ZipRule::Sizes);
        return false;
    }

    // Names kxpack keeps for the setup program's own files.
    void CheckReservedName(size_t index)
    {
        const EntryState& state = m_states[index];
        if (state.nameProblem != NameProblem::None)
            return;
        std::string reserved = ReservedNameProblem(state.name);
        if (!reserved.empty())
            EntryProblem(index, reserved, ZipRule::None);
    }

    // The names against each other, by the setup program's own index.
    void CheckNames()
    {
        std::vector<std::string> names;
        std::vector<size_t> owners;
        for (size_t i = 0; i < m_check.entries.size(); ++i) {
            if (m_states[i].nameProblem != NameProblem::None)
                continue;
            names.push_back(m_check.entries[i].name);
            owners.push_back(i);
        }
        NameCollision collision = FindNameCollision(names);
        if (collision.rule == ZipRule::None)
            return;
        if (collision.rule == ZipRule::NoMemory)
            return Problem(collision.text, collision.rule);
        size_t index = owners[collision.entry];
        std::string quoted = "\"" + ShownText(m_check.entries[index].name) + "\": ";
        const std::string& text = collision.text;
        EntryProblem(index, text.compare(0, quoted.size(), quoted) == 0 ? text.substr(quoted.size()) : text,
                     collision.rule);
    }

    void CheckLayout()
    {
        std::vector<size_t> order;
        for (size_t i = 0; i < m_states.size(); ++i) {
            if (!m_states[i].span.known)
                return; // gaps would only echo the entries that could not be placed
            order.push_back(i);
        }
        if (m_check.entries.size() != m_directory.entries)
            return;
        auto span = [&](size_t i) -> const EntrySpan& { return m_states[i].span; };
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return span(a).start < span(b).start; });
        uint64_t expected = 0;
        size_t previous = 0;
        for (size_t i : order) {
            if (span(i).start > expected)
                Problem(std::to_string(span(i).start - expected) + " bytes at " + At(expected) + " belong to no entry",
                        ZipRule::None);
            else if (span(i).start < expected)
                EntryProblem(i, "its local header at " + At(span(i).start) + " lies inside \"" +
                                    ShownText(m_check.entries[previous].name) + "\"",
                             ZipRule::LocalHeader);
            if (span(i).end > expected) {
                expected = span(i).end;
                previous = i;
            }
        }
        if (expected < m_centralOffset)
            Problem(std::to_string(m_centralOffset - expected) + " bytes at " + At(expected) + " belong to no entry",
                    ZipRule::None);
    }

    void CheckData()
    {
        std::vector<ZipDataJob> jobs;
        std::vector<size_t> owners;
        for (size_t i = 0; i < m_check.entries.size(); ++i) {
            const ZipEntryCheck& entry = m_check.entries[i];
            // Only what the setup program would extract: the rest is refused already.
            bool readable = m_states[i].span.known && (entry.method == ZIP_METHOD_STORED ||
                                                       entry.method == ZIP_METHOD_DEFLATED) &&
                            !(entry.flags & (ZIP_FLAG_ENCRYPTED | ZIP_FLAG_STRONG_ENCRYPTION | ZIP_FLAG_MASKED_HEADER));
            if (!readable)
                continue;
            ZipDataJob job;
            job.dataOffset = m_states[i].span.dataOffset;
            job.compressedSize = entry.compressedSize;
            job.size = entry.size;
            job.crc32 = entry.crc32;
            job.method = entry.method;
            jobs.push_back(job);
            owners.push_back(i);
        }
        CheckZipData(m_zip, jobs, m_options.threads);
        for (size_t j = 0; j < jobs.size(); ++j) {
            if (!jobs[j].problem.empty())
                EntryProblem(owners[j], jobs[j].problem, ZipRule::Sizes);
            ZipEntryCheck& entry = m_check.entries[owners[j]];
            entry.verified = entry.problem.empty();
        }
    }

    const CArchiveBytes& m_zip;
    const ZipVerifyOptions& m_options;
    ZipCheck& m_check;
    Bytes m_window, m_central, m_tail;
    const uint8_t* m_centralBase = nullptr;
    TZipDirectory m_directory;
    std::vector<EntryState> m_states; // beside m_check.entries
    std::string m_directoryProblem;   // what ended the central directory's walk
    ZipRule m_directoryRule = ZipRule::None;
    uint64_t m_centralOffset = 0, m_centralSize = 0;
};

} // namespace

std::string ZipOffsetText(const CArchiveBytes& zip, uint64_t offset)
{
    return zip.InFile() ? "file " + OffsetText(zip.FileOffset() + offset) : "archive " + OffsetText(offset);
}

void VerifyZip(const CArchiveBytes& zip, const ZipVerifyOptions& options, ZipCheck& check)
{
    CZipVerifier(zip, options, check).Run();
}

void VerifyZip(const CArchiveBytes& zip, unsigned threads, ZipCheck& check)
{
    ZipVerifyOptions options;
    options.threads = threads;
    VerifyZip(zip, options, check);
}
