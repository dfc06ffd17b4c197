// Whole-file reading and all-or-nothing writing: a failed build never leaves
// a half-written file under the target name.
#pragma once

#include <string>
#include <vector>

#include "Bytes.h"

bool ReadWholeFile(const std::string& path, Bytes& out, std::string& error);
bool IsDirectory(const std::string& path);
// Whether a file can be written at `path`: it names no folder, and its folder
// exists and may be written to. Checked before any work, so that a wrong
// output path does not fail only after all the compressing.
bool CheckOutputPath(const std::string& path, std::string& error);
// The names in a folder (without "." and ".."), sorted.
bool ListFolder(const std::string& folder, std::vector<std::string>& names, std::string& error);
bool IsRegularFile(const std::string& path);
// Writes into a temporary file beside the target; Commit() renames it into
// place. Destroyed without Commit(), or on SIGINT/SIGTERM/SIGHUP, it
// removes the temporary file.
class CAtomicFile {
public:
    CAtomicFile() = default;
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // `mode` is the permission of the finished file (0600 for a private key).
    bool Open(const std::string& path, unsigned mode, std::string& error);
    bool Write(const void* data, size_t size, std::string& error);
    bool Write(const Bytes& data, std::string& error) { return Write(data.data(), data.size(), error); }
    // Overwrites bytes already written (a size known only at the end).
    bool WriteAt(uint64_t offset, const void* data, size_t size, std::string& error);
    bool Commit(std::string& error);
    // Where the content is until Commit(), for a tool that reads it there.
    const std::string& TempPath() const { return m_tempPath; }

private:
    std::string m_path;
    std::string m_tempPath;
    int m_fd = -1;
};
