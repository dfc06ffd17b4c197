// Owner of one kernel object handle (process, thread, event). The file
// handle has its own owner, CBinFile.
#pragma once

#include <windows.h>

class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : m_h(handle) {}
    ~CHandle() { Close(); }

    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    void Attach(HANDLE handle)
    {
        Close();
        m_h = handle;
    }
    HANDLE Detach()
    {
        HANDLE handle = m_h;
        m_h = nullptr;
        return handle;
    }
    bool Close()
    {
        if (!m_h)
            return true;
        bool closed = CloseHandle(m_h) != FALSE;
        m_h = nullptr;
        return closed;
    }
    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HANDLE m_h = nullptr;
};
