// ZIP archives: every entry walked and read through CZipFile, then the
// whole archive extracted into the scratch folder.
#include <cwchar>

#include "archive/Extract.h"
#include "archive/ZipFile.h"
#include "robustness/Layouts.h"
#include "robustness/Targets.h"
#include "support/TestZip.h"

namespace {

// An entry read in pieces stops here: a declared size can say anything.
const unsigned READ_LIMIT = 64u << 20;
const unsigned WALK_LIMIT = 1000;

ByteVector Pattern(size_t size, unsigned seed, bool compressible)
{
    ByteVector bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = compressible ? static_cast<uint8_t>("kestrel trader "[i % 15] + (i / 4096 % 3))
                                : static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

class CZipTarget : public CTarget {
public:
    bool Prepare(const std::wstring&, std::string&) override
    {
        ZipTestEntry described{"data/described.bin", Pattern(9000, 3, true)};
        described.dataDescriptor = true;
        m_base = MakeZip({{"readme.txt", Bytes("Kestrel Trader\r\nRead me first.\r\n")},
                          {"bin/", {}},
                          {"bin/app.dll", Pattern(40000, 1, false), 0},
                          {"bin/plugins/p1.dat", Pattern(150000, 2, true)},
                          {"empty.txt", {}},
                          described,
                          {"docs/manual.txt", Pattern(3000, 4, true)},
                          {"docs/images/logo.bmp", Pattern(700, 5, false), 0}});
        m_layout = ZipLayout(m_base);
        m_entries = ArchiveEntries(m_base);
        return true;
    }

    TCaseResult Run(const ByteVector& input, CScratch& scratch) override
    {
        TCaseResult result;
        if (!WriteInput(input, scratch, result))
            return result;
        unsigned entries = Walk(scratch.Input(), result.problem);
        CPathList created;
        TArchiveSpan span;
        bool extracted = GetFileSpan(scratch.Input().c_str(), span) &&
                         ExtractArchive(span, scratch.Install().c_str(), created);
        result.problem += CheckExtracted(extracted, created, m_entries);
        result.problem += scratch.CheckAndClear(&created);
        result.outcome = entries == 0 ? "not opened" : extracted ? "opened, extracted" : "opened, extraction failed";
        return result;
    }

private:
    // Every entry's information and bytes, as far as the reader goes.
    unsigned Walk(const std::wstring& path, std::string& problem)
    {
        CZipFile zip;
        if (!zip.OpenArchive(path.c_str()))
            return 0;
        unsigned walked = 0;
        do {
            ++walked;
            ZipEntryInfo info;
            wchar_t name[260];
            wchar_t shortName[8];
            if (!zip.GetEntryInfo(&info, name, 260))
                continue;
            zip.GetEntryInfo(&info, shortName, 8);
            if (wcsnlen(name, 260) == 260 || wcsnlen(shortName, 8) == 8)
                problem += "an entry name without its terminator; ";
            if (!zip.OpenEntry())
                continue;
            unsigned total = 0, got;
            while (total < READ_LIMIT && (got = zip.ReadEntry(m_chunk, sizeof(m_chunk))) > 0) {
                if (got > sizeof(m_chunk))
                    problem += "ReadEntry gave more than was asked; ";
                total += got;
            }
            zip.CloseEntry();
        } while (walked < WALK_LIMIT && zip.GoToNextEntry());
        return walked;
    }

    TEntrySet m_entries;
    uint8_t m_chunk[65536];
};

} // namespace

std::unique_ptr<CTarget> MakeZipTarget()
{
    return std::unique_ptr<CTarget>(new CZipTarget);
}
