// Writes an installer front to back into its output file: the stub's image,
// the licence container, then each archive container with its one record
// scrambled on the way through. An archive is never held whole in memory;
// its record size is filled in once it is written. Writing stops at once
// when the installer or a record grows past what the setup program can
// start or read (InstallLimits.h). The image's checksum is summed on the
// way and set once the file is whole.
#pragma once

#include <string>

#include "Bytes.h"
#include "FileIo.h"
#include "PeChecksum.h"
#include "ZipWriter.h"
#include "package/PackageFormat.h"

class CInstallerWriter : public CByteSink {
public:
    bool Open(const std::string& path, std::string& error)
    {
        m_path = path;
        return m_file.Open(path, 0755, error);
    }
    // The first `imageEnd` bytes of `stub`, the package offset set in them.
    bool WriteImage(const Bytes& stub, uint32_t imageEnd, std::string& error);
    bool WriteContainer(const Bytes& container, std::string& error);
    // A container of `type` holding one record `recordId`; its data is what
    // is then written through this sink, until EndRecord().
    bool BeginRecord(uint32_t type, int64_t created, uint32_t recordId, std::string& error);
    bool Write(const uint8_t* data, size_t size, std::string& error) override;
    bool EndRecord(uint64_t& recordSize, std::string& error);
    // The file is whole: its checksum set, everything in the temporary file
    // (for a tool that reads it there, a signing tool).
    bool Finish(std::string& error);
    bool Commit(std::string& error) { return Finish(error) && m_file.Commit(error); }
    uint64_t Size() const { return m_size; }
    const std::string& TempPath() const { return m_file.TempPath(); }

private:
    bool Flush(std::string& error);
    bool Put(const void* data, size_t size, std::string& error);

    CAtomicFile m_file;
    std::string m_path;
    uint64_t m_size = 0;
    uint64_t m_recordSizeAt = 0;
    uint64_t m_recordStart = 0;
    std::string m_recordName; // "program files", in errors
    // The chained scrambling carries over from one piece to the next.
    uint8_t m_key[SCRAMBLE_KEY_BYTES];
    uint8_t m_previous = 0;
    // Written in pieces of a megabyte: an entry's header and its data are
    // not a write each.
    Bytes m_pending;
    CPeChecksum m_checksum;
    uint32_t m_checksumAt = 0; // 0: the image has no checksum field
};
