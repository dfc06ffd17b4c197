// A read-ahead window over an open file. minizip reads the headers of an
// archive a byte at a time; each of those reads would otherwise be a system
// call. Positions are the caller's; the file's own is moved only to fill
// the window or to read a large block straight into the caller's buffer.
#pragma once

#include <cstdint>

#include "base/BinFile.h"

class CReadAhead {
public:
    static const unsigned WINDOW_BYTES = 64 * 1024;

    explicit CReadAhead(CBinFile& file) : m_file(file) {}
    ~CReadAhead();

    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // Up to `bytes` bytes from the current position; fewer at the end of the
    // file, 0 on a read error.
    unsigned Read(void* buffer, unsigned bytes);
    // As CBinFile::Seek: FILE_BEGIN, FILE_CURRENT or FILE_END; the new
    // position, or -1 (the position then stays).
    int64_t Seek(int64_t distance, unsigned method);
    int64_t GetPosition() const { return m_position; }
    CBinFile& File() { return m_file; }
    // Forgets the window, after the file was reopened or moved by others.
    void Reset();

private:
    bool MoveFileTo(int64_t position);

    CBinFile& m_file;
    uint8_t* m_pWindow = nullptr;
    int64_t m_windowStart = 0;  // file position of m_pWindow[0]
    unsigned m_windowBytes = 0; // valid bytes in the window
    int64_t m_position = 0;     // the caller's position
    int64_t m_filePosition = 0; // where the handle stands
};
