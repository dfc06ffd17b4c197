// Program files with packages, made by the tests. Containers are laid out
// here independently of the setup program's writer (so the reader is checked
// against a second implementation); signed payloads are compressed with
// LZO1X-1 and signed with the development key through CryptoAPI.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using ByteVector = std::vector<uint8_t>;

struct TestRecord {
    uint32_t id;
    ByteVector data; // plain: the record key is applied on layout
};

struct ContainerOptions {
    int64_t created = 1767225600; // 2026-01-01
    int recordCount = -1;          // -1: the number of records
};

ByteVector ContainerBytes(uint32_t type, const std::vector<TestRecord>& records,
                          ContainerOptions options = {});
// A 64-byte stand-in image (N = 64 at 0x24), then the containers.
ByteVector ProgramFile(const std::vector<ByteVector>& containers);

struct PayloadOptions {
    bool marker = true;
    int64_t declaredSize = -1; // -1: the content's size
};
// Compressed content + size + marker, scrambled with the signature layer.
ByteVector PackPayload(const ByteVector& content, PayloadOptions options = {});
// The development key's signature, least significant byte first.
ByteVector SignWithTestKey(const ByteVector& data);
// A signed record and its signature record.
std::vector<TestRecord> SignedPair(uint32_t id, uint32_t signatureId, const ByteVector& content,
                                   PayloadOptions options = {});

// UTF-16LE bytes of `text`, with a byte order mark unless `bom` is false.
ByteVector Utf16(const std::wstring& text, bool bom = true);
// A licence container with the configuration `text` (and nothing else).
ByteVector LicenseContainer(const std::wstring& configText);
// A core container with a small archive record.
ByteVector CoreContainer();
// The minimal configuration that starts the setup program.
extern const wchar_t* const MINIMAL_CONFIG;

bool WriteBytes(const std::wstring& path, const ByteVector& bytes);
bool ReadBytes(const std::wstring& path, ByteVector& bytes);
