// An owned heap buffer that is zeroed before it is freed: for content that
// came out of a signed record, and for anything else not to be left behind.
#pragma once

#include <cstddef>
#include <cstdint>

class CSecureBuffer {
public:
    CSecureBuffer() = default;
    ~CSecureBuffer() { Free(); }

    CSecureBuffer(const CSecureBuffer&) = delete;
    CSecureBuffer& operator=(const CSecureBuffer&) = delete;

    // Replaces the content by `bytes` bytes of uninitialised memory.
    bool Allocate(size_t bytes);
    // Takes ownership of a malloc'ed block.
    void Attach(uint8_t* data, size_t bytes);
    uint8_t* Detach();
    // Keeps the first `bytes` bytes (never grows); the rest is zeroed.
    void Shrink(size_t bytes);
    void Free();

    uint8_t* Data() const { return m_pData; }
    size_t Size() const { return m_nSize; }
    bool IsEmpty() const { return m_pData == nullptr; }

private:
    uint8_t* m_pData = nullptr;
    size_t m_nSize = 0;
};

// Zeroing that the compiler may not drop as a dead store.
void SecureZero(void* data, size_t bytes);
