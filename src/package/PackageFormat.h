// The install package as it is stored. Compiled into both the setup program
// and kxpack (no Windows headers here), so that reader and writer can never
// disagree on layout, keys or scrambling.
//
// Program file:
//   [0, N)   the executable image, unchanged; N is the end of its last
//            section's raw data
//   0x24     N, unsigned 32-bit little-endian, inside the DOS header (the
//            e_oemid/e_oeminfo words, which the loader ignores)
//   [N, end) containers, one after another, no gap, no trailer
//
// Container: an 88-byte ContainerHeader, then `recordCount` records, each an
// 8-byte RecordHead (id, size) followed by `size` bytes scrambled with the
// record key.
//
// Signed payload (the data of records 1, 3 and 4 once the record key is off):
//   [LZO1X stream ending 11 00 00][unpacked size, u32][0x00FAACC2, u32]
// all of it scrambled with the signature-layer key. Its signature record holds
// RSA PKCS #1 v1.5 over SHA-1 of those bytes, least significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the package is little-endian");

const uint32_t PACKAGE_OFFSET_FIELD = 0x24;
const uint32_t DOS_HEADER_BYTES = 64;

enum : uint32_t {
    CONTAINER_LICENSE = 1,
    CONTAINER_CORE = 2,
    CONTAINER_CUSTOM = 3,
    CONTAINER_UNINSTALL = 4,
    CONTAINER_MAX_TYPE = 7, // the reader accepts (and drops) types up to this
};

enum : uint32_t {
    RECORD_CONFIG = 1,
    RECORD_BITMAP = 3,
    RECORD_LICENSES = 4,
    RECORD_ARCHIVE = 5,
    RECORD_UNINSTALL_LIST = 6,
    RECORD_UNINSTALL_FLAGS = 7,
    RECORD_CONFIG_SIGNATURE = 10,
    RECORD_BITMAP_SIGNATURE = 12,
    RECORD_LICENSES_SIGNATURE = 13,
};

// "KX24" in UTF-16LE, as two little-endian words.
const uint32_t CONTAINER_MAGIC_1 = 0x0058004B; // 4B 00 58 00
const uint32_t CONTAINER_MAGIC_2 = 0x00340032; // 32 00 34 00
const unsigned CONTAINER_MAX_RECORDS = 100;

const uint32_t SIGNED_TRAILER_MARKER = 0x00FAACC2;
const unsigned SIGNED_TRAILER_BYTES = 8;
const unsigned LZO_END_MARKER_BYTES = 3; // 11 00 00

// The uninstall list: slots of 260 UTF-16 units (group, folder, files).
const unsigned UNINSTALL_SLOT_CHARS = 260;
const unsigned UNINSTALL_SLOT_BYTES = UNINSTALL_SLOT_CHARS * 2;

// The uninstall flags: what the installation made itself and may therefore
// remove whole. Unsigned 32-bit little-endian; uninstallers written before
// the record existed lack it, and a missing or short record means nothing.
enum : uint32_t {
    UNINSTALL_CREATED_FOLDER = 1, // the installation folder did not exist before
    UNINSTALL_CREATED_GROUP = 2,  // nor did the program group's folder
};
const unsigned UNINSTALL_FLAGS_BYTES = 4;
// The flags of a record's data; 0 for null or fewer than 4 bytes.
uint32_t ReadUninstallFlags(const uint8_t* data, size_t size);

// The package certificate stands in the program's data behind this marker
// and a 32-bit little-endian length, so that kxpack can find it in a stub.
const char PACKAGE_CERTIFICATE_MARKER[] = "KXCERT01";
const unsigned PACKAGE_CERTIFICATE_MARKER_BYTES = 8;

#pragma pack(push, 1)
struct ContainerHeader {
    uint32_t magic1;
    uint32_t magic2;
    int64_t created; // seconds since 1970-01-01 UTC; never 0
    uint32_t type;
    uint16_t reserved1;
    uint16_t recordCount;
    uint8_t reserved2[64];

    // Magic, type <= maxType, at most 100 records, a creation time.
    bool IsValid(uint32_t maxType) const;
};

struct RecordHead {
    uint32_t id;
    uint32_t size;
};
#pragma pack(pop)

static_assert(sizeof(ContainerHeader) == 88, "container header is 88 bytes");
static_assert(sizeof(RecordHead) == 8, "record head is 8 bytes");

const unsigned SCRAMBLE_KEY_BYTES = 16;

// The record key, put together at run time so that it does not stand in the
// program as one run of bytes.
void GetRecordKey(uint8_t key[SCRAMBLE_KEY_BYTES]);
// The second layer of signed payloads.
extern const uint8_t SIGNATURE_LAYER_KEY[SCRAMBLE_KEY_BYTES];

// Descrambling: plain[i] = stored[i] ^ (stored[i - 1] + key[i % 16]), with
// stored[-1] = 0. Each plain byte depends on stored bytes only, so blocks are
// independent and the work runs at memory speed with SSE2 (chosen at run time
// by CPUID). In place; returns the bytes processed, 0 for null or length <= 0.
ptrdiff_t DescrambleRecord(uint8_t* data, ptrdiff_t length, const uint8_t* key);
// Descrambling that starts anywhere in a record: `data` holds the stored
// bytes from index `index` on, `previous` is the stored byte at index - 1
// (0 at index 0). A record can so be read in pieces, from the file itself.
ptrdiff_t DescrambleRecordFrom(uint8_t* data, ptrdiff_t length, const uint8_t* key, uint64_t index,
                               uint8_t previous);
// The inverse, in place. Each stored byte depends on the one before: one pass.
void ScrambleRecord(uint8_t* data, ptrdiff_t length, const uint8_t* key);
// Scrambling that goes on from index `index` of a record, `previous` being
// the stored byte at index - 1 (0 at index 0); returns the last stored byte
// (`previous` for nothing done). A record can so be written in pieces.
uint8_t ScrambleRecordFrom(uint8_t* data, ptrdiff_t length, const uint8_t* key, uint64_t index,
                           uint8_t previous);

enum class ScrambleCode { Scalar, Sse2 };
bool CpuHasSse2();
// The two implementations, for tests and benchmarks; Sse2 falls back to
// Scalar where the processor lacks it (DescrambleRecord asks for Sse2).
ptrdiff_t DescrambleRecordWith(ScrambleCode code, uint8_t* data, ptrdiff_t length,
                               const uint8_t* key);
ptrdiff_t DescrambleRecordFromWith(ScrambleCode code, uint8_t* data, ptrdiff_t length, const uint8_t* key,
                                   uint64_t index, uint8_t previous);

// Splits a plain (signature-layer descrambled) payload: the compressed stream
// is the first *streamBytes bytes, *unpackedSize its declared content size.
// False when the payload is shorter than the trailer or lacks its marker, the
// declared size is 0, or the stream cannot hold its end marker.
bool SplitSignedPayload(const uint8_t* payload, size_t size, size_t* streamBytes,
                        uint32_t* unpackedSize);
