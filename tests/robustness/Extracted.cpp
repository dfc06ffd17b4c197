#include <cstring>

#include <zlib.h>

#include "robustness/Targets.h"

TEntrySet ArchiveEntries(const ByteVector& zip)
{
    TEntrySet entries;
    for (size_t at = 0; at + 46 <= zip.size(); ++at) {
        uint32_t signature, crc, size;
        memcpy(&signature, &zip[at], 4);
        if (signature != 0x02014B50)
            continue;
        memcpy(&crc, &zip[at + 16], 4);
        memcpy(&size, &zip[at + 24], 4);
        entries.insert({size, crc});
    }
    return entries;
}

std::string CheckExtracted(bool extracted, const CPathList& created, const TEntrySet& entries)
{
    if (!extracted)
        return {};
    std::string problem;
    for (unsigned i = 0; i < created.GetCount(); ++i) {
        ByteVector bytes;
        if (!ReadBytes(created[i], bytes)) {
            problem += "reported extracted but missing: " + Narrow(created[i]) + "; ";
            continue;
        }
        uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
        if (!entries.count({static_cast<uint32_t>(bytes.size()), crc}))
            problem += "reported extracted but damaged: " + Narrow(created[i]) + "; ";
    }
    return problem;
}

bool CTarget::WriteInput(const ByteVector& input, CScratch& scratch, TCaseResult& result)
{
    if (WriteBytes(scratch.Input(), input))
        return true;
    result.problem = "cannot write the case";
    return false;
}
