#include "archive/ReadAhead.h"

#include <cstdlib>
#include <cstring>

CReadAhead::~CReadAhead()
{
    free(m_pWindow);
}

void CReadAhead::Reset()
{
    m_windowStart = 0;
    m_windowBytes = 0;
    m_filePosition = m_file.IsOpen() ? m_file.Seek(0, FILE_CURRENT) : 0;
    if (m_filePosition < 0)
        m_filePosition = 0;
    m_position = m_filePosition;
}

bool CReadAhead::MoveFileTo(int64_t position)
{
    if (m_filePosition == position)
        return true;
    if (m_file.Seek(position, FILE_BEGIN) != position)
        return false;
    m_filePosition = position;
    return true;
}

unsigned CReadAhead::Read(void* buffer, unsigned bytes)
{
    uint8_t* out = static_cast<uint8_t*>(buffer);
    unsigned done = 0;
    while (done < bytes) {
        // What the window already holds at the position.
        if (m_position >= m_windowStart && m_position < m_windowStart + m_windowBytes) {
            unsigned offset = static_cast<unsigned>(m_position - m_windowStart);
            unsigned take = m_windowBytes - offset;
            if (take > bytes - done)
                take = bytes - done;
            memcpy(out + done, m_pWindow + offset, take);
            done += take;
            m_position += take;
            continue;
        }
        if (!MoveFileTo(m_position))
            break;
        unsigned rest = bytes - done;
        // Large blocks (compressed data) go straight to the caller.
        if (rest >= WINDOW_BYTES / 2) {
            unsigned got = m_file.Read(out + done, rest);
            m_filePosition += got;
            m_position += got;
            done += got;
            break; // a short read is the end of the file or an error
        }
        if (!m_pWindow && !(m_pWindow = static_cast<uint8_t*>(malloc(WINDOW_BYTES))))
            break;
        m_windowStart = m_position;
        m_windowBytes = m_file.Read(m_pWindow, WINDOW_BYTES);
        m_filePosition += m_windowBytes;
        if (m_windowBytes == 0)
            break;
    }
    return done;
}

int64_t CReadAhead::Seek(int64_t distance, unsigned method)
{
    int64_t base = 0;
    if (method == FILE_CURRENT) {
        base = m_position;
    } else if (method == FILE_END) {
        if (!m_file.IsOpen())
            return -1;
        base = static_cast<int64_t>(m_file.GetSize());
    } else if (method != FILE_BEGIN) {
        return -1;
    }
    int64_t target = base + distance;
    if (target < 0)
        return -1;
    m_position = target;
    return target;
}
