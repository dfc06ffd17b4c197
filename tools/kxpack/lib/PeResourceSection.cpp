#include "PeResourceSection.h"

#include <algorithm>
#include <cstring>

#include "PeChecksum.h"
#include "PeLayout.h"

namespace {

// No setup program's resources come near this; a larger section is damage.
const uint32_t RESOURCE_SECTION_MAX_BYTES = 64u << 20;

struct Section {
    char name[9] = {};
    uint32_t virtualSize = 0;
    uint32_t address = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
    size_t headerAt = 0; // in the file
};

struct Directory {
    uint32_t address = 0;
    uint32_t size = 0;
};

// What the rewrite needs of the headers, with the file offsets of the fields
// it changes.
struct Headers {
    size_t optionalAt = 0;
    uint32_t fileAlignment = 0;
    uint32_t sectionAlignment = 0;
    size_t directoriesAt = 0;
    uint32_t directoryCount = 0;
    std::vector<Directory> directories;
    std::vector<Section> sections;

    const Directory& Dir(unsigned index) const
    {
        static const Directory none;
        return index < directories.size() ? directories[index] : none;
    }
};

bool ReadHeaders(const CByteSource& file, Headers& headers, std::string& error)
{
    error = "damaged PE headers";
    uint8_t dos[0x40];
    if (!file.Read(0, dos, sizeof(dos)) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    uint32_t pe = ReadU32(dos + DOS_LFANEW_OFFSET);
    uint8_t coff[4 + COFF_HEADER_BYTES];
    if (!file.Read(pe, coff, sizeof(coff)) || memcmp(coff, "PE\0\0", 4) != 0)
        return false;
    unsigned sectionCount = ReadU16(coff + 4 + 2);
    unsigned optionalBytes = ReadU16(coff + 4 + 16);
    headers.optionalAt = pe + sizeof(coff);
    Bytes optional(optionalBytes);
    if (optionalBytes < 2 || !file.Read(headers.optionalAt, optional.data(), optional.size()))
        return false;
    bool plus = ReadU16(optional.data()) == 0x20B;
    size_t countAt = plus ? DIRECTORY_COUNT_PE32_PLUS : DIRECTORY_COUNT_PE32;
    if (optionalBytes < countAt + 4)
        return false;
    headers.sectionAlignment = ReadU32(&optional[OPTIONAL_SECTION_ALIGNMENT]);
    headers.fileAlignment = ReadU32(&optional[OPTIONAL_FILE_ALIGNMENT]);
    headers.directoryCount = ReadU32(&optional[countAt]);
    headers.directoriesAt = headers.optionalAt + countAt + 4;
    size_t count = std::min<size_t>(headers.directoryCount, (optionalBytes - countAt - 4) / DIRECTORY_ENTRY_BYTES);
    headers.directories.clear();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = &optional[countAt + 4 + i * DIRECTORY_ENTRY_BYTES];
        headers.directories.push_back({ReadU32(entry), ReadU32(entry + 4)});
    }
    Bytes table(sectionCount * SECTION_HEADER_BYTES);
    size_t tableAt = headers.optionalAt + optionalBytes;
    if (sectionCount == 0 || !file.Read(tableAt, table.data(), table.size()))
        return false;
    headers.sections.clear();
    for (unsigned i = 0; i < sectionCount; ++i) {
        const uint8_t* at = &table[i * SECTION_HEADER_BYTES];
        Section section;
        memcpy(section.name, at, 8);
        section.virtualSize = ReadU32(at + 8);
        section.address = ReadU32(at + 12);
        section.rawSize = ReadU32(at + 16);
        section.rawOffset = ReadU32(at + 20);
        section.headerAt = tableAt + i * SECTION_HEADER_BYTES;
        headers.sections.push_back(section);
    }
    error.clear();
    return true;
}

uint32_t AlignUp(uint32_t value, uint32_t alignment)
{
    return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

uint32_t Span(const Section& section)
{
    return std::max(section.virtualSize, section.rawSize);
}

// The section that holds the resource directory; -1 when there is none.
int ResourceSection(const Headers& headers)
{
    const Directory& resources = headers.Dir(RESOURCE_DIRECTORY);
    if (!resources.address || !resources.size)
        return -1;
    for (size_t i = 0; i < headers.sections.size(); ++i) {
        const Section& s = headers.sections[i];
        if (resources.address >= s.address && resources.address - s.address < Span(s))
            return static_cast<int>(i);
    }
    return -1;
}

void PutU32(Bytes& image, size_t at, uint32_t value)
{
    memcpy(&image[at], &value, 4);
}

std::string SectionName(const Section& section)
{
    return std::string("section ") + (section.name[0] ? section.name : "(unnamed)");
}

// May the section behind the resources move? Only the base relocations:
// nothing in the image refers to where they lie but their directory entry.
bool CheckMovable(const Headers& headers, const Section& resources, std::string& error)
{
    const Directory& relocations = headers.Dir(RELOCATION_DIRECTORY);
    for (const Section& s : headers.sections) {
        if (s.address <= resources.address)
            continue;
        bool holdsRelocations = relocations.size && relocations.address >= s.address &&
                                relocations.address + uint64_t(relocations.size) <= s.address + uint64_t(Span(s));
        if (!holdsRelocations) {
            error = SectionName(s) + " follows the resources and cannot move";
            return false;
        }
        if ((s.rawSize && s.rawOffset < resources.rawOffset + uint64_t(resources.rawSize)) ||
            s.address < resources.address + uint64_t(AlignUp(Span(resources), headers.sectionAlignment))) {
            error = SectionName(s) + " overlaps the resources";
            return false;
        }
    }
    for (size_t i = 0; i < headers.directories.size(); ++i) {
        const Directory& d = headers.directories[i];
        if (i == RESOURCE_DIRECTORY || i == RELOCATION_DIRECTORY || i == CERTIFICATE_DIRECTORY || !d.size)
            continue;
        if (d.address >= resources.address) {
            error = "data directory " + std::to_string(i) + " lies in or behind the resources";
            return false;
        }
    }
    return true;
}

} // namespace

bool ReadImageResources(const CByteSource& file, uint64_t imageEnd, std::vector<ResourceEntry>& entries,
                        std::string& error)
{
    entries.clear();
    Headers headers;
    if (!ReadHeaders(file, headers, error))
        return false;
    if (headers.Dir(RESOURCE_DIRECTORY).size == 0)
        return true;
    int index = ResourceSection(headers);
    if (index < 0) {
        error = "the resource directory lies in no section";
        return false;
    }
    const Section& s = headers.sections[index];
    if (s.rawSize > RESOURCE_SECTION_MAX_BYTES || s.rawOffset + uint64_t(s.rawSize) > imageEnd) {
        error = "damaged resource section";
        return false;
    }
    Bytes section(s.rawSize);
    if (!file.Read(s.rawOffset, section.data(), section.size())) {
        error = "damaged resource section";
        return false;
    }
    return ReadResourceTree(section, s.address, headers.Dir(RESOURCE_DIRECTORY).address - s.address, entries, error);
}

bool WriteImageResources(Bytes& image, const std::vector<ResourceEntry>& entries, std::string& error)
{
    Headers headers;
    if (!ReadHeaders(CMemorySource(image), headers, error))
        return false;
    int index = ResourceSection(headers);
    if (index < 0) {
        error = "the image has no resource section";
        return false;
    }
    Section resources = headers.sections[index];
    const uint32_t fileAlign = headers.fileAlignment, sectionAlign = headers.sectionAlignment;
    if (!fileAlign || (fileAlign & (fileAlign - 1)) || sectionAlign < fileAlign || (sectionAlign & (sectionAlign - 1)) ||
        resources.rawSize % fileAlign || resources.rawOffset % fileAlign ||
        resources.rawOffset + uint64_t(resources.rawSize) > image.size()) {
        error = "the resource section is not laid out as a linker lays it out";
        return false;
    }
    // The tree is written from the section's start: the section must hold
    // nothing else.
    if (headers.Dir(RESOURCE_DIRECTORY).address != resources.address) {
        error = "the resource section holds more than the resources";
        return false;
    }
    if (!CheckMovable(headers, resources, error))
        return false;

    Bytes tree = WriteResourceTree(entries, resources.address);
    if (tree.size() > RESOURCE_SECTION_MAX_BYTES) {
        error = "the resources come to more than 64 MiB";
        return false;
    }
    const uint32_t treeSize = static_cast<uint32_t>(tree.size());
    const uint32_t rawSize = AlignUp(treeSize, fileAlign);
    const int64_t fileShift = int64_t(rawSize) - resources.rawSize;
    const int64_t memoryShift = int64_t(AlignUp(treeSize, sectionAlign)) - AlignUp(Span(resources), sectionAlign);
    tree.resize(rawSize, 0);

    const size_t oldEnd = resources.rawOffset + size_t(resources.rawSize);
    Bytes out(image.begin(), image.begin() + resources.rawOffset);
    out.insert(out.end(), tree.begin(), tree.end());
    out.insert(out.end(), image.begin() + oldEnd, image.end());

    PutU32(out, resources.headerAt + 8, treeSize);
    PutU32(out, resources.headerAt + 16, rawSize);
    uint32_t imageSize = 0;
    for (const Section& s : headers.sections) {
        uint32_t address = s.address, span = Span(s);
        if (&s == &headers.sections[index]) {
            span = treeSize;
        } else if (s.address > resources.address) {
            address = static_cast<uint32_t>(s.address + memoryShift);
            PutU32(out, s.headerAt + 12, address);
            if (s.rawSize)
                PutU32(out, s.headerAt + 20, static_cast<uint32_t>(s.rawOffset + fileShift));
        }
        imageSize = std::max(imageSize, AlignUp(address + span, sectionAlign));
    }
    PutU32(out, headers.directoriesAt + RESOURCE_DIRECTORY * DIRECTORY_ENTRY_BYTES + 4, treeSize);
    const Directory& relocations = headers.Dir(RELOCATION_DIRECTORY);
    if (relocations.size && relocations.address > resources.address)
        PutU32(out, headers.directoriesAt + RELOCATION_DIRECTORY * DIRECTORY_ENTRY_BYTES,
               static_cast<uint32_t>(relocations.address + memoryShift));
    PutU32(out, headers.optionalAt + OPTIONAL_SIZE_OF_IMAGE, imageSize);
    // SizeOfInitializedData counts the raw data of the resources as well.
    const size_t initializedAt = headers.optionalAt + OPTIONAL_SIZE_OF_INITIALIZED_DATA;
    uint32_t initialized = ReadU32(&out[initializedAt]);
    PutU32(out, initializedAt, static_cast<uint32_t>(std::max<int64_t>(0, int64_t(initialized) + fileShift)));
    uint32_t checksumAt = 0;
    if (FindChecksumField(out.data(), out.size(), checksumAt))
        PutU32(out, checksumAt, 0);
    Wipe(image);
    image.swap(out);
    return true;
}
