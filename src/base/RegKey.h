// Owner of an open registry key.
#pragma once

#include <windows.h>

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    bool Open(HKEY parent, const wchar_t* subKey, REGSAM access);
    bool Create(HKEY parent, const wchar_t* subKey, REGSAM access);
    // A string value (REG_SZ or REG_EXPAND_SZ, not expanded) into `out`,
    // always terminated; false when it is missing or not a string.
    bool QueryString(const wchar_t* name, wchar_t* out, DWORD outChars) const;
    bool Close();
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};
