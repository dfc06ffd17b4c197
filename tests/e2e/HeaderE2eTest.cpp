// The header band and the company link, on the screen.
#include <windows.h>
#include <tlhelp32.h>

#include <map>
#include <set>

#include "archive/ArchiveSource.h"
#include "e2e/E2eFixture.h"
#include "package/InstallPackage.h"
#include "res/ResourceIds.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"

namespace {

// The most frequent pixel value of a bitmap (the larger value among equal
// counts), counted here independently of the program.
COLORREF MostFrequentColour(HBITMAP bitmap)
{
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    BITMAPINFOHEADER header = {sizeof(header), info.bmWidth, -info.bmHeight, 1, 32, BI_RGB};
    std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, info.bmHeight, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    std::map<uint32_t, unsigned> counts;
    for (uint32_t pixel : pixels)
        ++counts[pixel];
    uint32_t best = 0;
    unsigned bestCount = 0;
    for (const auto& entry : counts)
        if (entry.second >= bestCount) {
            best = entry.first;
            bestCount = entry.second;
        }
    return RGB((best >> 16) & 0xFF, (best >> 8) & 0xFF, best & 0xFF);
}

// A pixel of the band: the sheet's client area near its top left corner,
// outside the centred bitmap.
COLORREF BandPixel(HWND sheet)
{
    POINT point = {4, 4};
    ClientToScreen(sheet, &point);
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, point.x, point.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

std::set<DWORD> ProcessIds()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {sizeof(entry)};
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        ids.insert(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

HWND FindCompanyLink(HWND sheet)
{
    return FindWindowExW(sheet, nullptr, L"WTL_HyperLink", nullptr);
}

class HeaderE2eTest : public E2eTest {};

TEST_F(HeaderE2eTest, BandHasTheBitmapsDominantColour)
{
    InstallPackage package;
    ASSERT_TRUE(package.Load(Installer().c_str()));
    CSecureBuffer bmp;
    ASSERT_TRUE(package.m_pLicense->GetBitmapRecord(bmp));
    const auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(bmp.Data() + sizeof(BITMAPFILEHEADER));
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBitmap(screen, info, CBM_INIT, bmp.Data() + sizeof(BITMAPFILEHEADER) + info->biSize,
                                    reinterpret_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    COLORREF expected = MostFrequentColour(bitmap);
    DeleteObject(bitmap);

    CWizardDriver driver(ScreenshotFolder());
    NamePages(driver);
    ASSERT_TRUE(driver.Start(Installer()));
    ASSERT_NE(nullptr, driver.WaitForSheet(L"Kestrel Trader Setup"));
    ASSERT_NE(nullptr, driver.WaitForPage(IDC_INTRO));
    EXPECT_EQ(expected, BandPixel(driver.Sheet()));
    HWND link = FindCompanyLink(driver.Sheet());
    ASSERT_NE(nullptr, link);
    EXPECT_EQ(L"Kestrel Markets Ltd.", driver.Text(link));
    driver.Kill();
}

TEST_F(HeaderE2eTest, WithoutAPackageBitmapTheBuiltInOneAndNoLink)
{
    // The sample installer with its bitmap and the bitmap's signature left out.
    InstallPackage package;
    ASSERT_TRUE(package.Load(Installer().c_str()));
    std::vector<TestRecord> records;
    for (unsigned i = 0; i < package.m_pLicense->GetRecordCount(); ++i) {
        const ContainerRecord* record = package.m_pLicense->GetRecord(i);
        if (record->id != RECORD_BITMAP && record->id != RECORD_BITMAP_SIGNATURE)
            records.push_back({record->id, ByteVector(record->data, record->data + record->size)});
    }
    // The program archive stays in the installer file; read from there.
    TArchiveSpan span;
    ASSERT_TRUE(GetArchiveSpan(package, package.m_pCore, span));
    ByteVector archive(static_cast<size_t>(span.size));
    CArchiveReader reader;
    ASSERT_TRUE(reader.Open(span));
    ASSERT_TRUE(reader.ReadAt(0, archive.data(), static_cast<uint32_t>(archive.size())));
    ByteVector original;
    ASSERT_TRUE(ReadBytes(Installer(), original));
    uint32_t imageBytes = 0;
    memcpy(&imageBytes, &original[PACKAGE_OFFSET_FIELD], 4);
    ByteVector file(original.begin(), original.begin() + imageBytes);
    for (const ByteVector& container : {ContainerBytes(CONTAINER_LICENSE, records),
                                        ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, archive}})})
        file.insert(file.end(), container.begin(), container.end());
    CTempFolder folder;
    std::wstring installer = folder.Path(L"no-bitmap-setup.exe");
    ASSERT_TRUE(WriteBytes(installer, file));

    // The built-in bitmap 2, read from the program's own resources.
    HMODULE image = LoadLibraryExW(installer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    HBITMAP builtIn = LoadBitmapW(image, MAKEINTRESOURCEW(IDB_HEADER));
    ASSERT_NE(nullptr, builtIn);
    COLORREF expected = MostFrequentColour(builtIn);
    DeleteObject(builtIn);
    FreeLibrary(image);

    CWizardDriver driver(ScreenshotFolder());
    NamePages(driver);
    ASSERT_TRUE(driver.Start(installer));
    ASSERT_NE(nullptr, driver.WaitForSheet(L"Kestrel Trader Setup"));
    ASSERT_NE(nullptr, driver.WaitForPage(IDC_INTRO));
    EXPECT_EQ(expected, BandPixel(driver.Sheet()));
    driver.Screenshot(driver.Sheet(), L"built-in-header");

    // The company link has no address: a click opens nothing.
    HWND link = FindCompanyLink(driver.Sheet());
    ASSERT_NE(nullptr, link);
    std::set<DWORD> before = ProcessIds();
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    PostMessageW(link, WM_CHAR, VK_RETURN, 0);
    Sleep(1500);
    std::set<DWORD> after = ProcessIds();
    for (DWORD id : after)
        EXPECT_TRUE(before.count(id)) << "process " << id << " was started";
    driver.Kill();
}

} // namespace
