// Writes ZIP archives the setup program can extract, straight into a sink:
// files are deflated on all cores, a few at a time, and written in the
// order given, so memory holds only the entries in flight, never the
// archive. The bytes depend only on the names and contents given and on
// one time: no file times, owners or permissions are stored. ZIP64 fields
// are written only where the archive needs them (ZipHeaders.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "CheckedInput.h"

struct ZipSource {
    std::string name; // entry name, forward slashes; a folder ends in '/'
    std::string path; // the file to read; empty for a folder or for `data`
    Bytes data;
    uint64_t size = 0; // of the file at `path`, or of `data`
    FileSeen seen;     // the file at `path` as the walk saw it; it must still be that file
};

class CByteSink {
public:
    virtual ~CByteSink() = default;
    virtual bool Write(const uint8_t* data, size_t size, std::string& error) = 0;
};

class CMemorySink : public CByteSink {
public:
    explicit CMemorySink(Bytes& out) : m_out(out) {}
    bool Write(const uint8_t* data, size_t size, std::string&) override
    {
        m_out.insert(m_out.end(), data, data + size);
        return true;
    }

private:
    Bytes& m_out;
};

struct ZipWriteOptions {
    // A file larger than this is never held in memory: once its first
    // megabyte shows it is stored, it is read again as it is written; a
    // deflated one goes through a scratch file without a name.
    uint64_t streamBytes = 64u << 20;
    // Where those scratch files are made; "" for TMPDIR or /tmp.
    std::string scratchFolder;
};

// The time stored with every entry, from seconds since 1970 (UTC); times a
// ZIP cannot hold are clamped to 1980 and 2107.
void ToDosTime(int64_t seconds, uint16_t& time, uint16_t& date);

// Writes the entries in the order given. `what` names the archive in
// progress lines and errors; an unreadable file is named by its path. The
// sink's errors end the writing.
bool WriteZip(const std::vector<ZipSource>& entries, int64_t time, const std::string& what,
              const ZipWriteOptions& options, CByteSink& sink, std::string& error);
bool WriteZip(const std::vector<ZipSource>& entries, int64_t time, const std::string& what,
              CByteSink& sink, std::string& error);
