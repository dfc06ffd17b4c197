#include "base/RegKey.h"

bool CRegKey::Open(HKEY parent, const wchar_t* subKey, REGSAM access)
{
    Close();
    if (RegOpenKeyExW(parent, subKey, 0, access, &m_hKey) != ERROR_SUCCESS)
        m_hKey = nullptr;
    return m_hKey != nullptr;
}

bool CRegKey::Create(HKEY parent, const wchar_t* subKey, REGSAM access)
{
    Close();
    if (RegCreateKeyExW(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &m_hKey,
                        nullptr) != ERROR_SUCCESS)
        m_hKey = nullptr;
    return m_hKey != nullptr;
}

bool CRegKey::QueryString(const wchar_t* name, wchar_t* out, DWORD outChars) const
{
    if (!m_hKey || !out || outChars == 0)
        return false;
    out[0] = 0;
    DWORD type = 0;
    // One character is kept back for the terminator the registry may not store.
    DWORD bytes = (outChars - 1) * sizeof(wchar_t);
    LONG result = RegQueryValueExW(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        out[0] = 0;
        return false;
    }
    out[bytes / sizeof(wchar_t)] = 0;
    return true;
}

bool CRegKey::Close()
{
    if (!m_hKey)
        return true;
    bool ok = RegCloseKey(m_hKey) == ERROR_SUCCESS;
    m_hKey = nullptr;
    return ok;
}
