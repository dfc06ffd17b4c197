// Owners of GDI objects. A font the program made is a CFont; a font it only
// borrows (the dialog's) stays a plain HFONT.
#pragma once

#include <windows.h>

template <typename THandle>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(THandle handle) : m_h(handle) {}
    ~TGdiObject() { Delete(); }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;

    void Attach(THandle handle)
    {
        Delete();
        m_h = handle;
    }
    THandle Detach()
    {
        THandle handle = m_h;
        m_h = nullptr;
        return handle;
    }
    bool Delete()
    {
        bool ok = !m_h || DeleteObject(m_h);
        m_h = nullptr;
        return ok;
    }
    THandle Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    THandle m_h = nullptr;
};

using CFont = TGdiObject<HFONT>;
using CBrush = TGdiObject<HBRUSH>;
using CBitmap = TGdiObject<HBITMAP>;

// A memory device context.
class CMemoryDC {
public:
    explicit CMemoryDC(HDC compatible) : m_hDC(CreateCompatibleDC(compatible)) {}
    ~CMemoryDC()
    {
        if (m_hDC)
            DeleteDC(m_hDC);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HDC m_hDC;
};

// Selects an object into a device context for a scope.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : m_hDC(dc), m_hOld(object ? SelectObject(dc, object) : nullptr) {}
    ~CSelectObject()
    {
        if (m_hOld)
            SelectObject(m_hDC, m_hOld);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
