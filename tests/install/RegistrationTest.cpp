// The uninstall entry in the registry: what the system runs, with
// administrator rights, when the user removes the program.
#include <gtest/gtest.h>

#include <string>

#include "install/EngineFixture.h"
#include "install/Registration.h"
#include "state/State.h"

namespace {

std::wstring ReadValue(const std::wstring& keyName, const wchar_t* name)
{
    wchar_t data[512] = L"";
    DWORD bytes = sizeof(data) - sizeof(wchar_t), type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<no key>";
    LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? data : L"<no string>";
}

class RegistrationTest : public EngineTest {};

TEST_F(RegistrationTest, PathsAreQuotedAndKeepEveryCharacter)
{
    // A blank (C:\Apps\Kestrel.exe would run unquoted), full-width letters
    // (best-fit narrowing makes plain ones of them) and Greek, which the
    // ANSI code pages of Western Europe do not hold.
    std::wstring folder = L"C:\\Apps\\\xFF2B\xFF45\xFF53\xFF54\xFF52\xFF45\xFF4C Trader \x03A9";
    std::wstring uninstaller = folder + L"\\Uninstall.exe";
    ASSERT_TRUE(RegisterUninstaller(uninstaller.c_str(), (folder + L"\\terminal.exe").c_str()));
    EXPECT_EQ(L"\"" + uninstaller + L"\"", ReadValue(UninstallKey(), L"UninstallString"));
    EXPECT_EQ(folder + L"\\terminal.exe", ReadValue(UninstallKey(), L"DisplayIcon"));
    EXPECT_EQ(L"Kestrel Trader", ReadValue(UninstallKey(), L"DisplayName"));
}

} // namespace
