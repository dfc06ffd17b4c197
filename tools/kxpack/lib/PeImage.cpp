#include "PeImage.h"

#include <algorithm>
#include <cstdio>

#include "package/PackageFormat.h"

namespace {

const uint16_t MACHINE_I386 = 0x014C;
const uint16_t MACHINE_AMD64 = 0x8664;
const size_t DOS_LFANEW_OFFSET = 0x3C;
const size_t COFF_HEADER_BYTES = 20;
const size_t SECTION_HEADER_BYTES = 40;
const uint16_t OPTIONAL_MAGIC_PE32_PLUS = 0x20B;
// NumberOfRvaAndSizes; the data directories follow it.
const size_t DIRECTORY_COUNT_OFFSET_PE32 = 92;
const size_t DIRECTORY_COUNT_OFFSET_PE32_PLUS = 108;
const uint32_t SECURITY_DIRECTORY = 4;
const size_t DIRECTORY_ENTRY_BYTES = 8;
// A DER certificate of a 2048-bit RSA key is some 800 to 1,500 bytes.
const uint32_t CERTIFICATE_MAX_BYTES = 16384;

} // namespace

const char* EditionName(Edition edition)
{
    return edition == Edition::X64 ? "64-bit" : "32-bit";
}

const char* EditionMachine(Edition edition)
{
    return edition == Edition::X64 ? "x86-64, PE32+" : "x86, PE32";
}

bool ReadImageLayout(const Bytes& file, ImageLayout& layout, std::string& error)
{
    if (file.size() < DOS_HEADER_BYTES || file[0] != 'M' || file[1] != 'Z') {
        error = "not a Windows program (no MZ header)";
        return false;
    }
    uint32_t peOffset = ReadU32(&file[DOS_LFANEW_OFFSET]);
    if (peOffset > file.size() || file.size() - peOffset < 4 + COFF_HEADER_BYTES ||
        memcmp(&file[peOffset], "PE\0\0", 4) != 0) {
        error = "not a Windows program (no PE header)";
        return false;
    }
    const uint8_t* coff = &file[peOffset + 4];
    uint16_t machine = ReadU16(coff);
    if (machine != MACHINE_I386 && machine != MACHINE_AMD64) {
        char hex[8];
        snprintf(hex, sizeof(hex), "%04X", machine);
        error = std::string("not an x86 or x86-64 Windows program (machine 0x") + hex + ")";
        return false;
    }
    Edition edition = machine == MACHINE_AMD64 ? Edition::X64 : Edition::X86;
    size_t optional = peOffset + 4 + COFF_HEADER_BYTES;
    unsigned sections = ReadU16(coff + 2);
    size_t sectionTable = optional + ReadU16(coff + 16);
    if (sections == 0 || sectionTable > file.size() ||
        (file.size() - sectionTable) / SECTION_HEADER_BYTES < sections) {
        error = "damaged PE image (section table)";
        return false;
    }
    uint64_t end = sectionTable + sections * SECTION_HEADER_BYTES;
    for (unsigned i = 0; i < sections; ++i) {
        const uint8_t* section = &file[sectionTable + i * SECTION_HEADER_BYTES];
        uint32_t rawSize = ReadU32(section + 16);
        uint32_t rawOffset = ReadU32(section + 20);
        if (rawSize)
            end = std::max<uint64_t>(end, static_cast<uint64_t>(rawOffset) + rawSize);
    }
    if (end > file.size()) {
        error = "damaged PE image (sections run past the end of the file)";
        return false;
    }
    layout.end = static_cast<uint32_t>(end);
    layout.edition = edition;
    return true;
}

bool FindEmbeddedCertificate(const uint8_t* image, size_t size, Bytes& der)
{
    const uint8_t* marker = reinterpret_cast<const uint8_t*>(PACKAGE_CERTIFICATE_MARKER);
    const uint8_t* end = image + size;
    for (const uint8_t* at = image;
         (at = std::search(at, end, marker, marker + PACKAGE_CERTIFICATE_MARKER_BYTES)) != end;
         ++at) {
        const uint8_t* body = at + PACKAGE_CERTIFICATE_MARKER_BYTES;
        if (end - body < 4)
            break;
        uint32_t length = ReadU32(body);
        // A DER certificate starts with a SEQUENCE tag.
        if (length == 0 || length > CERTIFICATE_MAX_BYTES || length > size_t(end - body - 4) ||
            body[4] != 0x30)
            continue;
        der.assign(body + 4, body + 4 + length);
        return true;
    }
    return false;
}

bool FindCertificateTable(const Bytes& file, uint32_t& offset, uint32_t& size, std::string& error)
{
    offset = size = 0;
    ImageLayout layout;
    std::string notAnImage;
    if (!ReadImageLayout(file, layout, notAnImage))
        return true;
    // ReadImageLayout has checked the headers up to the section table.
    size_t coff = ReadU32(&file[DOS_LFANEW_OFFSET]) + 4;
    size_t optional = coff + COFF_HEADER_BYTES;
    size_t optionalSize = ReadU16(&file[coff + 16]);
    size_t countOffset = ReadU16(&file[optional]) == OPTIONAL_MAGIC_PE32_PLUS
                             ? DIRECTORY_COUNT_OFFSET_PE32_PLUS
                             : DIRECTORY_COUNT_OFFSET_PE32;
    size_t entry = countOffset + 4 + SECURITY_DIRECTORY * DIRECTORY_ENTRY_BYTES;
    if (optionalSize < entry + DIRECTORY_ENTRY_BYTES || file.size() - optional < optionalSize ||
        ReadU32(&file[optional + countOffset]) <= SECURITY_DIRECTORY)
        return true;
    uint32_t at = ReadU32(&file[optional + entry]), bytes = ReadU32(&file[optional + entry + 4]);
    if (bytes == 0)
        return true;
    // The table is not mapped: its entry holds a file offset, behind the image.
    if (at < layout.end || at > file.size() || file.size() - at < bytes) {
        error = "the security directory (offset " + std::to_string(at) + ", " +
                std::to_string(bytes) + " bytes) points outside the data behind the image";
        return false;
    }
    offset = at;
    size = bytes;
    return true;
}
