// Owner of one file handle: the one way the program reads and writes whole
// files. Failures come back as results (0 bytes, -1, false); a short transfer
// is the caller's failure to judge, nobody loops to complete one.
#pragma once

#include <windows.h>

#include <cstdint>

class CBinFile {
public:
    CBinFile() = default;
    virtual ~CBinFile();

    CBinFile(const CBinFile&) = delete;
    CBinFile& operator=(const CBinFile&) = delete;

    // Closes any open file first, also when the new open fails.
    bool Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
              SECURITY_ATTRIBUTES* security = nullptr);
    bool OpenRead(const wchar_t* path);
    // Creates the file or empties an existing one.
    bool OpenWrite(const wchar_t* path);

    unsigned Read(void* buffer, unsigned bytes);
    unsigned Write(const void* buffer, unsigned bytes);
    // New position, or -1.
    int64_t Seek(int64_t distance, DWORD method);
    uint64_t GetSize() const;
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    // For checks of the open file; stays owned by this object.
    HANDLE GetHandle() const { return m_hFile; }
    bool Close();

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};
