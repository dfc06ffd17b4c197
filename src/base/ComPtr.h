// Owner of one COM interface pointer.
#pragma once

#include <objbase.h>

template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr() { Release(); }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;

    void Release()
    {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
    }
    // For the out-parameter of a creating call.
    void** Receive()
    {
        Release();
        return reinterpret_cast<void**>(&m_p);
    }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};
