// Where things stand in a PE image's headers, as kxpack's readers and
// writers of them need it.
#pragma once

#include <cstddef>

// The DOS header's field that holds the offset of "PE\0\0".
const size_t DOS_LFANEW_OFFSET = 0x3C;
// Behind the "PE\0\0" signature; the optional header follows.
const size_t COFF_HEADER_BYTES = 20;
const size_t SECTION_HEADER_BYTES = 40;

// In the optional header.
const size_t OPTIONAL_SIZE_OF_INITIALIZED_DATA = 8;
const size_t OPTIONAL_SECTION_ALIGNMENT = 32;
const size_t OPTIONAL_FILE_ALIGNMENT = 36;
const size_t OPTIONAL_SIZE_OF_IMAGE = 56;
const size_t OPTIONAL_CHECKSUM = 64;
// NumberOfRvaAndSizes, then the data directories.
const size_t DIRECTORY_COUNT_PE32 = 92;
const size_t DIRECTORY_COUNT_PE32_PLUS = 108;
const size_t DIRECTORY_ENTRY_BYTES = 8;

// Data directories.
const unsigned RESOURCE_DIRECTORY = 2;
const unsigned CERTIFICATE_DIRECTORY = 4; // a file offset, not an address
const unsigned RELOCATION_DIRECTORY = 5;
