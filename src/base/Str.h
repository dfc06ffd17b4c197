// Wide-character strings that never allocate.
//
// CStr works on a buffer it is given (TStrStatic<N> carries its own). Every
// operation is bounded by the capacity: text is cut, never overflows, and no
// operation can fail for lack of memory. Paths are TStrStatic<0x104>.
#pragma once

#include <cstdarg>
#include <cstddef>

class CStr {
public:
    CStr() = default;
    CStr(wchar_t* buffer, unsigned capacity) { Attach(buffer, capacity); }
    virtual ~CStr();

    CStr(const CStr&) = delete;
    CStr& operator=(const CStr&) = delete;

    // Copies at most capacity - 1 characters; null empties. Returns the new length.
    unsigned Assign(const wchar_t* text);
    // Copies min(other length, capacity - 1) characters; returns the buffer.
    wchar_t* Assign(const CStr& other);
    // Prints into the buffer. Output that does not fit leaves the string
    // empty and returns -1 (it is not cut).
    int Format(const wchar_t* format, ...);
    int FormatV(const wchar_t* format, va_list args);
    // Recounts after a system call has written into the buffer.
    void UpdateLength();
    void Truncate(unsigned index);
    void Delete(unsigned index, unsigned count);

    wchar_t GetAt(unsigned index) const;
    int Find(wchar_t ch) const;
    int ReverseFind(wchar_t ch) const;
    int FindNoCase(const wchar_t* text, unsigned start) const;
    int CompareNoCase(const wchar_t* text) const;
    int Compare(const wchar_t* text, size_t count) const;
    void Replace(wchar_t chOld, wchar_t chNew);
    bool IsEmpty() const;
    // ANSI code page, whole string with its terminator. Returns the bytes
    // written; on failure `out` is left empty.
    int ToMultiByte(char* out, int outBytes) const;

    wchar_t* GetBuffer() const { return m_pBuffer; }
    const wchar_t* GetString() const { return m_pBuffer ? m_pBuffer : L""; }
    unsigned GetLength() const { return m_nLength; }
    unsigned GetCapacity() const { return m_nCapacity; }
    operator const wchar_t*() const { return GetString(); }

protected:
    void Attach(wchar_t* buffer, unsigned capacity);

private:
    void Empty();

    wchar_t* m_pBuffer = nullptr;
    unsigned m_nLength = 0;
    unsigned m_nCapacity = 0;
};

template <unsigned N>
class TStrStatic : public CStr {
    static_assert(N > 1, "a string needs room for one character and its terminator");

public:
    TStrStatic() { Attach(m_szText, N); }
    explicit TStrStatic(const wchar_t* text) : TStrStatic() { CStr::Assign(text); }
    TStrStatic(const TStrStatic& other) : TStrStatic() { CStr::Assign(other); }
    TStrStatic& operator=(const TStrStatic& other)
    {
        CStr::Assign(other);
        return *this;
    }

private:
    wchar_t m_szText[N];
};
