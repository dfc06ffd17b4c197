// Writing and reading whole program files with packages: the writer makes
// installers, the reader follows the setup program's own loading rules so
// that inspection reports what the setup program would see.
#pragma once

#include <string>
#include <vector>

#include "ArchiveBytes.h"
#include "ByteSource.h"
#include "Bytes.h"
#include "package/PackageFormat.h"

struct PackageRecord {
    uint32_t id = 0;
    Bytes data; // plain (record key removed)
};

struct PackageContainer {
    ContainerHeader header{};
    std::vector<PackageRecord> records;
};

// Header and scrambled records of one container.
Bytes SerializeContainer(uint32_t type, int64_t created, const std::vector<PackageRecord>& records);

// The first `imageEnd` bytes of `stub` with the package offset set and no
// Authenticode signature entry or checksum, then the containers.
Bytes ComposeProgramFile(const Bytes& stub, uint32_t imageEnd, const std::vector<Bytes>& containers);

struct ReadRecord {
    uint64_t offset = 0; // of its 8-byte head; the data follows it
    uint32_t id = 0;
    uint32_t size = 0;
    bool readable = false; // false: skipped by the setup program
    // Plain, while the records read so far fit in RECORD_HELD_BYTES. Empty
    // for archive records (most of the file) and for what the budget leaves
    // out: those are read where they stand, a piece at a time (RecordBytes).
    Bytes data;
    bool held = false;
    uint64_t DataOffset() const { return offset + sizeof(RecordHead); }
};

// The most record data ReadPackageFile holds in memory, in all. A builder's
// licence container is a few hundred kilobytes; whatever a file claims
// beyond this stays where it stands.
const uint64_t RECORD_HELD_BYTES = 16u << 20;

struct ReadContainer {
    uint64_t offset = 0;
    ContainerHeader header{};
    std::vector<ReadRecord> records;
    // The first readable record with this id and data, as the setup program looks it up.
    const ReadRecord* Find(uint32_t id) const;
};

struct ReadPackage {
    uint32_t packageOffset = 0;
    std::vector<ReadContainer> containers; // every valid container, in file order
    uint64_t endOffset = 0;                // where reading stopped
    std::string stopReason;                // why it stopped there
    // The container of each type the setup program keeps (the last one read).
    const ReadContainer* Kept(uint32_t type) const;
    bool Loads() const;                     // licence and (core or uninstall)
};

bool ReadPackageFile(const CByteSource& file, ReadPackage& package, std::string& error);
bool ReadPackageFile(const Bytes& file, ReadPackage& package, std::string& error);

// A readable record's plain data, held or in `file` (which outlives it).
CArchiveBytes RecordBytes(const CByteSource& file, const ReadRecord& record);
