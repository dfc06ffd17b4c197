// The release round trip: the installer that release-build.sh made from the
// Debian package alone (its kxpack, its stub of this edition, a fresh key,
// the sample with a version and an icon) installed through the wizard; the
// installed Uninstall.exe must carry the product's version resource and
// icon, the uninstall entry the release's values; the uninstaller then
// removes it all.
#include <windows.h>
#include <prsht.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "e2e/E2eFixture.h"
#include "res/ResourceIds.h"
#include "support/TestPackage.h"

namespace {

const wchar_t RELEASE_VERSION[] = L"2.4.1.7";
// The installer's icon group: the lowest id, the one Explorer shows.
const WORD INSTALLER_ICON_GROUP = 23;

#ifdef _WIN64
const wchar_t INSTALLER[] = L"release-setup-64.exe";
const REGSAM EDITION_VIEW = KEY_WOW64_64KEY;
#else
const wchar_t INSTALLER[] = L"release-setup-32.exe";
const REGSAM EDITION_VIEW = KEY_WOW64_32KEY;
#endif

std::wstring FromUtf8(const std::string& text)
{
    if (text.empty())
        return L"";
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

// The key=value lines of the configuration the installers were built from.
std::map<std::wstring, std::wstring> ReleaseConfig()
{
    std::map<std::wstring, std::wstring> values;
    ByteVector bytes;
    if (!ReadBytes(E2eTest::Installer(L"release-product.cfg"), bytes))
        return values;
    std::string text(bytes.begin(), bytes.end());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[FromUtf8(line.substr(0, equals))] = FromUtf8(line.substr(equals + 1));
        start = end + 1;
    }
    return values;
}

// An icon image as it is named (by width and height, 0 for 256) and its bytes.
using IconImage = std::tuple<int, int, ByteVector>;

// The images of a .ico file, sorted; empty for a file that is not one.
std::vector<IconImage> IcoImages(const ByteVector& ico)
{
    std::vector<IconImage> images;
    auto word = [&](size_t at) { return static_cast<unsigned>(ico[at] | ico[at + 1] << 8); };
    auto dword = [&](size_t at) { return static_cast<size_t>(word(at) | word(at + 2) << 16); };
    if (ico.size() < 6 || word(0) != 0 || word(2) != 1)
        return images;
    for (size_t i = 0, count = word(4); i < count; ++i) {
        size_t entry = 6 + 16 * i;
        if (entry + 16 > ico.size())
            return {};
        size_t size = dword(entry + 8), offset = dword(entry + 12);
        if (offset > ico.size() || size > ico.size() - offset)
            return {};
        images.emplace_back(ico[entry], ico[entry + 1],
                            ByteVector(ico.begin() + static_cast<ptrdiff_t>(offset),
                                       ico.begin() + static_cast<ptrdiff_t>(offset + size)));
    }
    std::sort(images.begin(), images.end());
    return images;
}

// A resource's bytes; empty when the module has none of that type and name.
ByteVector ResourceBytes(HMODULE module, const wchar_t* type, WORD name)
{
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(name), type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const uint8_t* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    return data ? ByteVector(data, data + SizeofResource(module, found)) : ByteVector();
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

// The images an icon group of the module names, sorted; each entry's size
// must be its RT_ICON's.
std::vector<IconImage> GroupImages(HMODULE module, WORD group)
{
    std::vector<IconImage> images;
    ByteVector directory = ResourceBytes(module, RT_GROUP_ICON, group);
    if (directory.size() < 6)
        return images;
    size_t count = directory[4] | directory[5] << 8;
    if (directory.size() < 6 + count * sizeof(GroupIconEntry)) {
        ADD_FAILURE() << "icon group " << group << " is cut short: " << count << " entries in " << directory.size()
                      << " bytes";
        return images;
    }
    for (size_t i = 0; i < count; ++i) {
        GroupIconEntry entry;
        memcpy(&entry, &directory[6 + i * sizeof(entry)], sizeof(entry));
        ByteVector image = ResourceBytes(module, RT_ICON, entry.id);
        EXPECT_EQ(entry.bytesInRes, image.size()) << "RT_ICON " << entry.id;
        images.emplace_back(entry.width, entry.height, image);
    }
    std::sort(images.begin(), images.end());
    return images;
}

// "16 x 16: 1128 bytes, ..." for messages (a size of 0 stands for 256).
std::string Describe(const std::vector<IconImage>& images)
{
    auto pixels = [](int size) { return std::to_string(size ? size : 256); };
    std::string text;
    for (const auto& image : images)
        text += (text.empty() ? "" : ", ") + pixels(std::get<0>(image)) + " x " + pixels(std::get<1>(image)) +
                ": " + std::to_string(std::get<2>(image).size()) + " bytes";
    return text;
}

class ReleaseE2eTest : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        m_config = ReleaseConfig();
        ASSERT_FALSE(m_config.empty()) << "no release-product.cfg beside the test: release_build makes it";
        ASSERT_EQ(RELEASE_VERSION, m_config[L"product_version"]);
        ASSERT_TRUE(Exists(Installer(INSTALLER))) << "release_build makes it";
    }

    std::wstring Config(const wchar_t* key) { return m_config[key]; }

    // The version resource's string of the first translation it lists.
    static std::wstring VersionString(const ByteVector& info, const wchar_t* name)
    {
        void* translation = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &translation, &length) || length < 4)
            return L"<no translation>";
        const WORD* pair = static_cast<const WORD*>(translation);
        wchar_t path[128];
        swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", pair[0], pair[1], name);
        void* value = nullptr;
        if (!VerQueryValueW(info.data(), path, &value, &length))
            return L"<none>";
        return std::wstring(static_cast<const wchar_t*>(value), length ? length - 1 : 0);
    }

    static bool ReadEntry(const wchar_t* name, DWORD expectedType, ByteVector& data)
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKey().c_str(), 0, KEY_READ | EDITION_VIEW, &key) !=
            ERROR_SUCCESS)
            return false;
        DWORD type = 0, bytes = 0;
        bool read = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
                    type == expectedType;
        if (read) {
            data.resize(bytes);
            read = RegQueryValueExW(key, name, nullptr, &type, data.data(), &bytes) == ERROR_SUCCESS;
        }
        RegCloseKey(key);
        return read;
    }
    static std::wstring EntryText(const wchar_t* name)
    {
        ByteVector data;
        if (!ReadEntry(name, REG_SZ, data))
            return L"<no text>";
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        return text.substr(0, text.find(L'\0'));
    }
    static int64_t EntryNumber(const wchar_t* name)
    {
        ByteVector data;
        DWORD value = 0;
        if (!ReadEntry(name, REG_DWORD, data) || data.size() != sizeof(value))
            return -1;
        memcpy(&value, data.data(), sizeof(value));
        return value;
    }
    static bool EntryExists()
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKey().c_str(), 0, KEY_READ | EDITION_VIEW, &key) !=
            ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    void ExpectVersionResource(const std::wstring& file)
    {
        DWORD handle = 0, size = GetFileVersionInfoSizeW(file.c_str(), &handle);
        ASSERT_GT(size, 0u) << "no version resource in " << testing::PrintToString(file);
        ByteVector info(size);
        ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, info.data()));
        EXPECT_EQ(Config(L"company_program"), VersionString(info, L"ProductName"));
        EXPECT_EQ(Config(L"company_name"), VersionString(info, L"CompanyName"));
        EXPECT_EQ(Config(L"company_program") + L" Setup", VersionString(info, L"FileDescription"));
        EXPECT_EQ(RELEASE_VERSION, VersionString(info, L"ProductVersion"));
        EXPECT_EQ(RELEASE_VERSION, VersionString(info, L"FileVersion"));

        void* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
        ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
        const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
        EXPECT_EQ(0x00020004u, fixed->dwFileVersionMS) << "2.4";
        EXPECT_EQ(0x00010007u, fixed->dwFileVersionLS) << "1.7";
        EXPECT_EQ(0x00020004u, fixed->dwProductVersionMS) << "2.4";
        EXPECT_EQ(0x00010007u, fixed->dwProductVersionLS) << "1.7";
    }

    void ExpectIcon(const std::wstring& file)
    {
        ByteVector ico;
        ASSERT_TRUE(ReadBytes(Installer(L"release-setup.ico"), ico));
        std::vector<IconImage> expected = IcoImages(ico);
        ASSERT_FALSE(expected.empty()) << "release-setup.ico is no icon file";
        HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module) << GetLastError();
        std::vector<IconImage> found = GroupImages(module, INSTALLER_ICON_GROUP);
        FreeLibrary(module);
        EXPECT_EQ(Describe(expected), Describe(found)) << "the images of icon group " << INSTALLER_ICON_GROUP;
        EXPECT_TRUE(expected == found) << "the bytes of the images of icon group " << INSTALLER_ICON_GROUP;
    }

    void ExpectUninstallEntry()
    {
        ASSERT_TRUE(EntryExists()) << "no uninstall entry in the edition's registry view";
        EXPECT_EQ(RELEASE_VERSION, EntryText(L"DisplayVersion"));
        EXPECT_EQ(DefaultFolder(), EntryText(L"InstallLocation"));
        EXPECT_EQ(1, EntryNumber(L"NoModify"));
        EXPECT_EQ(1, EntryNumber(L"NoRepair"));
        EXPECT_EQ(Config(L"company_link"), EntryText(L"URLInfoAbout"));
        uint64_t bytes = 0;
        for (const std::wstring& path : FilesBelow(DefaultFolder())) {
            WIN32_FILE_ATTRIBUTE_DATA data;
            ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
            bytes += static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
        }
        double kilobytes = static_cast<double>(bytes) / 1024;
        EXPECT_NEAR(kilobytes, static_cast<double>(EntryNumber(L"EstimatedSize")), kilobytes / 100)
            << bytes << " bytes in the installation folder, Uninstall.exe included";
    }

    void UninstallWithData()
    {
        CWizardDriver driver(ScreenshotFolder() + L"\\uninstall");
        NamePages(driver);
        // With the personal data, so that the folder goes too.
        DWORD exitCode = 0;
        RunUninstaller(driver, Config(L"company_program") + L" Uninstall", true, &exitCode);
        if (HasFatalFailure())
            return;
        EXPECT_GT(static_cast<int>(exitCode), 0);
    }

    std::map<std::wstring, std::wstring> m_config;
};

TEST_F(ReleaseE2eTest, InstallsWithTheReleasesResourcesAndEntryThenUninstalls)
{
    CWizardDriver driver(ScreenshotFolder() + L"\\install");
    InstallWithDefaults(driver, DefaultFolder(), false, Installer(INSTALLER));
    if (HasFatalFailure())
        return;
    const std::wstring uninstaller = DefaultFolder() + L"\\Uninstall.exe";
    {
        SCOPED_TRACE("the version resource of Uninstall.exe");
        ExpectVersionResource(uninstaller);
    }
    {
        SCOPED_TRACE("the icon of Uninstall.exe");
        ExpectIcon(uninstaller);
    }
    {
        SCOPED_TRACE("the uninstall entry");
        ExpectUninstallEntry();
    }

    UninstallWithData();
    if (HasFatalFailure())
        return;
    EXPECT_FALSE(EntryExists()) << "the uninstall entry is gone";
    // The self-removal batch takes Uninstall.exe and the folder after the
    // uninstaller has ended.
    EXPECT_TRUE(CWizardDriver::WaitUntil([&] { return !Exists(DefaultFolder()); }, 30000))
        << "the installation folder is gone";
}

} // namespace
