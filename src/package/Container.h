// A container of the install package in memory: its header as read or built
// and its records, descrambled. Lookups go by record id; the first record
// with an id wins.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/Array.h"
#include "base/SecureBuffer.h"
#include "base/Str.h"
#include "package/ContainerRecord.h"
#include "package/PackageFormat.h"

class CBinFile;

class CDCContainer {
public:
    CDCContainer();
    ~CDCContainer();

    CDCContainer(const CDCContainer&) = delete;
    CDCContainer& operator=(const CDCContainer&) = delete;

    // A fresh header (magic, type, creation time = now), no records.
    bool Init(uint32_t type);
    // Header and records at the file position. A record that cannot be read
    // is left out; an invalid header fails. With `archiveInFile`, the program
    // archive of a core or custom container stays in the file: only where it
    // lies is noted (FindRecordInFile).
    bool Read(CBinFile& file, bool archiveInFile = false);
    // Header and records at the file position; fails, writing nothing, when
    // the container has no records or its count is out of step.
    bool Write(CBinFile& file) const;
    // Appends a copy of the data. Null data or size 0 makes an empty entry.
    bool AddRecord(uint32_t id, const void* data, uint32_t size);
    // The container's own descrambled copy; valid while the container lives.
    bool FindRecord(uint32_t id, const uint8_t** data, uint32_t* size) const;
    // A record left in the file: the file offset of its stored (scrambled)
    // data and its size.
    bool FindRecordInFile(uint32_t id, uint64_t* offset, uint32_t* size) const;

    // Verifies `data` against signature record `signatureId` of this
    // container and unpacks it into `content`.
    bool UnpackSigned(uint32_t signatureId, const uint8_t* data, uint32_t size,
                      CSecureBuffer& content) const;
    // The wizard bitmap: a complete BMP file.
    bool GetBitmapRecord(CSecureBuffer& bitmap) const;
    // A value of the signed setup configuration.
    bool GetConfigValue(const wchar_t* key, CStr& out) const;
    // The licence agreement for `locale` from the licence-texts archive,
    // read in memory: the bytes of the first entry named "<locale>-..." and
    // three zero bytes (a wide text ends within the buffer whatever the
    // entry's length).
    bool LoadLicenseText(LCID locale, CSecureBuffer& text) const;

    virtual bool Validate() { return true; }

    // Takes over the header and the records of `other`, which is left empty.
    // Loading moves records rather than copying them: a package holds archive
    // records of many megabytes.
    void TakeFrom(CDCContainer& other);

    const ContainerHeader& GetHeader() const { return m_header; }
    unsigned GetRecordCount() const { return m_records.GetCount(); }
    const ContainerRecord* GetRecord(unsigned index) const { return m_records.GetAt(index); }

private:
    void FreeRecords();

    ContainerHeader m_header;
    TArray<ContainerRecord, 16> m_records;
};

// The class only tells the type.
class CTermLicContainer final : public CDCContainer {};
class CTermCoreContainer final : public CDCContainer {};
class CTermCustomContainer final : public CDCContainer {};
class CTermUninstContainer final : public CDCContainer {};
