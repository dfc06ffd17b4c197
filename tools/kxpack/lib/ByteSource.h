// Where a program file's bytes are read from: memory (the tests, the
// fuzzer) or an open file read in pieces, so that inspecting a large
// installer never holds the whole of it.
#pragma once

#include <cstdint>
#include <string>

#include "Bytes.h"
#include "CheckedInput.h"

class CByteSource {
public:
    virtual ~CByteSource() = default;
    virtual uint64_t Size() const = 0;
    // [offset, offset + size) into `out`; false when that is not all there.
    // Safe to call from several threads at once.
    virtual bool Read(uint64_t offset, void* out, size_t size) const = 0;
};

class CMemorySource final : public CByteSource {
public:
    CMemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    explicit CMemorySource(const Bytes& bytes) : m_data(bytes.data()), m_size(bytes.size()) {}
    uint64_t Size() const override { return m_size; }
    bool Read(uint64_t offset, void* out, size_t size) const override;

private:
    const uint8_t* m_data;
    size_t m_size;
};

class CFileSource final : public CByteSource {
public:
    CFileSource() = default;
    ~CFileSource() override;
    CFileSource(const CFileSource&) = delete;
    CFileSource& operator=(const CFileSource&) = delete;

    // False, with "<path>: <reason>", when it cannot be opened or is a folder.
    bool Open(const std::string& path, std::string& error);
    // An input, opened only while it is the file `seen` (CheckedInput.h).
    bool Open(const std::string& path, const FileSeen& seen, std::string& error);
    uint64_t Size() const override { return m_size; }
    bool Read(uint64_t offset, void* out, size_t size) const override;

private:
    int m_fd = -1;
    uint64_t m_size = 0;
};
