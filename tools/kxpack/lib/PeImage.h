// What kxpack needs of a setup program's PE image: where the image ends (the
// package begins there) and the package certificate carried in its data.
#pragma once

#include <string>

#include "ByteSource.h"
#include "Bytes.h"

// The setup program comes in two editions built from the same sources.
enum class Edition {
    X86, // 32-bit: PE32, i386
    X64, // 64-bit: PE32+, AMD64
};

struct ImageLayout {
    // The end of the last section's raw data: the number of bytes of the
    // file that belong to the program. Anything behind it (the package of an
    // installer) is not part of the image.
    uint32_t end = 0;
    Edition edition = Edition::X86;
    // The certificate table (an Authenticode signature), a file offset and
    // size; 0 and 0 when the image has none. Signing tools put it behind
    // everything else in the file, so it follows the package.
    uint32_t certificateTable = 0;
    uint32_t certificateTableSize = 0;
};

// "32-bit" or "64-bit".
const char* EditionName(Edition edition);
// "x86, PE32" or "x86-64, PE32+".
const char* EditionMachine(Edition edition);

// Reads the layout of an x86 or x86-64 Windows program image (the edition
// is the COFF header's machine); false, with the reason, for anything else:
// another machine, a damaged section table.
bool ReadImageLayout(const CByteSource& file, ImageLayout& layout, std::string& error);
bool ReadImageLayout(const Bytes& file, ImageLayout& layout, std::string& error);

// Where the image's certificate table (its Authenticode signatures) lies in
// the file: the security data directory. `size` 0: the file is not signed
// (or is no image that ReadImageLayout takes). False, with the reason, for
// an entry that points outside the data behind the image.
bool FindCertificateTable(const CByteSource& file, uint32_t& offset, uint32_t& size, std::string& error);

// The DER certificate that installers made before kxpack wrote it among the
// resources carry in the image's data, behind its marker, in the first
// `size` bytes of `file` (read a piece at a time); false when there is none.
bool FindEmbeddedCertificate(const CByteSource& file, uint64_t size, Bytes& der);
