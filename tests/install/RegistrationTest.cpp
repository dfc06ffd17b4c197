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
    std::wstring program = folder + L"\\terminal.exe";
    TUninstallEntry entry = {uninstaller.c_str(), program.c_str(), folder.c_str(), nullptr, nullptr, 0};
    ASSERT_TRUE(RegisterUninstaller(entry));
    EXPECT_EQ(L"\"" + uninstaller + L"\"", ReadValue(UninstallKey(), L"UninstallString"));
    EXPECT_EQ(program, ReadValue(UninstallKey(), L"DisplayIcon"));
    EXPECT_EQ(folder, ReadValue(UninstallKey(), L"InstallLocation"));
    EXPECT_EQ(L"Kestrel Trader", ReadValue(UninstallKey(), L"DisplayName"));
}

TEST_F(RegistrationTest, VersionAddressAndSizeComeFromTheInstallation)
{
    std::wstring folder = L"C:\\Apps\\Kestrel Trader";
    std::wstring uninstaller = folder + L"\\Uninstall.exe", program = folder + L"\\terminal.exe";
    // No version and no address: "5.00" and no URLInfoAbout, as before.
    TUninstallEntry plain = {uninstaller.c_str(), program.c_str(), folder.c_str(), L"", L"", 1};
    ASSERT_TRUE(RegisterUninstaller(plain));
    EXPECT_EQ(L"5.00", ReadValue(UninstallKey(), L"DisplayVersion"));
    EXPECT_EQ(L"<no string>", ReadValue(UninstallKey(), L"URLInfoAbout"));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, UninstallKey().c_str());
    // Sizes in KB rounded up, and held at what a DWORD holds.
    const struct {
        uint64_t bytes;
        DWORD kilobytes;
    } sizes[] = {{1, 1}, {1024, 1}, {1025, 2}, {5ull << 30, 5u << 20}, {~0ull, MAXDWORD}};
    for (const auto& size : sizes) {
        TUninstallEntry entry = {uninstaller.c_str(), program.c_str(), folder.c_str(), L"2.4.1",
                                 L"https://www.example.com/kestrel", size.bytes};
        ASSERT_TRUE(RegisterUninstaller(entry));
        EXPECT_EQ(L"2.4.1", ReadValue(UninstallKey(), L"DisplayVersion"));
        EXPECT_EQ(L"https://www.example.com/kestrel", ReadValue(UninstallKey(), L"URLInfoAbout"));
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKey().c_str(), 0, KEY_READ, &key));
        DWORD data = 0, bytes = sizeof(data), type = 0;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegQueryValueExW(key, L"EstimatedSize", nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes));
        RegCloseKey(key);
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
        EXPECT_EQ(size.kilobytes, data) << size.bytes;
    }
}

} // namespace
