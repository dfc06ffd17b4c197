#include "PeImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "PeLayout.h"
#include "package/PackageFormat.h"

namespace {

const uint16_t MACHINE_I386 = 0x014C;
const uint16_t MACHINE_AMD64 = 0x8664;
// A DER certificate of a 2048-bit RSA key is some 800 to 1,500 bytes.
const uint32_t CERTIFICATE_MAX_BYTES = 16384;

// The certificate behind the marker at `at`, when it stands there whole
// before `end`: a length that fits and a DER SEQUENCE.
bool CertificateAt(const uint8_t* at, const uint8_t* end, Bytes& der)
{
    const uint8_t* body = at + PACKAGE_CERTIFICATE_MARKER_BYTES;
    if (end - body < 5)
        return false;
    uint32_t length = ReadU32(body);
    if (length == 0 || length > CERTIFICATE_MAX_BYTES || length > size_t(end - body - 4) || body[4] != 0x30)
        return false;
    der.assign(body + 4, body + 4 + length);
    return true;
}

} // namespace

const char* EditionName(Edition edition)
{
    return edition == Edition::X64 ? "64-bit" : "32-bit";
}

const char* EditionMachine(Edition edition)
{
    return edition == Edition::X64 ? "x86-64, PE32+" : "x86, PE32";
}

bool ReadImageLayout(const CByteSource& file, ImageLayout& layout, std::string& error)
{
    const uint64_t size = file.Size();
    uint8_t dos[DOS_HEADER_BYTES];
    if (size < DOS_HEADER_BYTES || !file.Read(0, dos, sizeof(dos)) || dos[0] != 'M' || dos[1] != 'Z') {
        error = "not a Windows program (no MZ header)";
        return false;
    }
    uint32_t peOffset = ReadU32(&dos[DOS_LFANEW_OFFSET]);
    uint8_t pe[4 + COFF_HEADER_BYTES];
    if (peOffset > size || size - peOffset < sizeof(pe) || !file.Read(peOffset, pe, sizeof(pe)) ||
        memcmp(pe, "PE\0\0", 4) != 0) {
        error = "not a Windows program (no PE header)";
        return false;
    }
    const uint8_t* coff = pe + 4;
    uint16_t machine = ReadU16(coff);
    if (machine != MACHINE_I386 && machine != MACHINE_AMD64) {
        char hex[8];
        snprintf(hex, sizeof(hex), "%04X", machine);
        error = std::string("not an x86 or x86-64 Windows program (machine 0x") + hex + ")";
        return false;
    }
    Edition edition = machine == MACHINE_AMD64 ? Edition::X64 : Edition::X86;
    uint64_t optional = static_cast<uint64_t>(peOffset) + sizeof(pe);
    unsigned sections = ReadU16(coff + 2);
    unsigned optionalBytes = ReadU16(coff + 16);
    uint64_t sectionTable = optional + optionalBytes;
    Bytes table(static_cast<size_t>(sections) * SECTION_HEADER_BYTES);
    if (sections == 0 || sectionTable > size || (size - sectionTable) / SECTION_HEADER_BYTES < sections ||
        !file.Read(sectionTable, table.data(), table.size())) {
        error = "damaged PE image (section table)";
        return false;
    }
    uint64_t end = sectionTable + table.size();
    for (unsigned i = 0; i < sections; ++i) {
        const uint8_t* section = &table[i * SECTION_HEADER_BYTES];
        uint32_t rawSize = ReadU32(section + 16);
        uint32_t rawOffset = ReadU32(section + 20);
        if (rawSize)
            end = std::max<uint64_t>(end, static_cast<uint64_t>(rawOffset) + rawSize);
    }
    if (end > size) {
        error = "damaged PE image (sections run past the end of the file)";
        return false;
    }
    layout = ImageLayout();
    layout.end = static_cast<uint32_t>(end);
    layout.edition = edition;
    // The directory count and the certificate table's entry, where the
    // optional header is long enough to hold them.
    size_t countAt = edition == Edition::X64 ? DIRECTORY_COUNT_PE32_PLUS : DIRECTORY_COUNT_PE32;
    size_t entryAt = countAt + 4 + CERTIFICATE_DIRECTORY * DIRECTORY_ENTRY_BYTES;
    uint8_t header[DIRECTORY_COUNT_PE32_PLUS + 4 + (CERTIFICATE_DIRECTORY + 1) * DIRECTORY_ENTRY_BYTES];
    if (optionalBytes >= entryAt + DIRECTORY_ENTRY_BYTES && file.Read(optional, header, entryAt + DIRECTORY_ENTRY_BYTES) &&
        ReadU32(header + countAt) > CERTIFICATE_DIRECTORY) {
        layout.certificateTable = ReadU32(header + entryAt);
        layout.certificateTableSize = ReadU32(header + entryAt + 4);
    }
    return true;
}

bool ReadImageLayout(const Bytes& file, ImageLayout& layout, std::string& error)
{
    return ReadImageLayout(CMemorySource(file), layout, error);
}

bool FindEmbeddedCertificate(const CByteSource& file, uint64_t size, Bytes& der)
{
    // A window at a time, each reaching far enough past its last marker to
    // hold the largest certificate: the image's size may be any its
    // section table claims, and only what is there is read.
    const uint64_t STEP = 1 << 20;
    const size_t REACH = PACKAGE_CERTIFICATE_MARKER_BYTES + 4 + CERTIFICATE_MAX_BYTES;
    const uint8_t* marker = reinterpret_cast<const uint8_t*>(PACKAGE_CERTIFICATE_MARKER);
    size = std::min(size, file.Size());
    Bytes window;
    for (uint64_t start = 0; start < size; start += STEP) {
        window.resize(static_cast<size_t>(std::min(size - start, STEP + REACH)));
        if (!file.Read(start, window.data(), window.size()))
            return false;
        const uint8_t* end = window.data() + window.size();
        const uint8_t* last = window.data() + std::min<size_t>(window.size(), STEP); // markers start before
        for (const uint8_t* at = window.data();
             (at = std::search(at, end, marker, marker + PACKAGE_CERTIFICATE_MARKER_BYTES)) < last; ++at)
            if (CertificateAt(at, end, der))
                return true;
    }
    return false;
}

bool FindCertificateTable(const CByteSource& file, uint32_t& offset, uint32_t& size, std::string& error)
{
    offset = size = 0;
    ImageLayout layout;
    std::string notAnImage;
    if (!ReadImageLayout(file, layout, notAnImage) || layout.certificateTableSize == 0)
        return true;
    uint32_t at = layout.certificateTable, bytes = layout.certificateTableSize;
    // The table is not mapped: its entry holds a file offset, behind the image.
    if (at < layout.end || at > file.Size() || file.Size() - at < bytes) {
        error = "the security directory (offset " + std::to_string(at) + ", " +
                std::to_string(bytes) + " bytes) points outside the data behind the image";
        return false;
    }
    offset = at;
    size = bytes;
    return true;
}
