// Parts of the wizard that can be judged without running it: the settings
// page's text cleaning, the licence table, the dominant colour, the smart
// box's hint, the step images, the cancel prompt and the company link.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "base/Str.h"
#include "res/ResourceIds.h"
#include "res/TextIds.h"
#include "support/FakePage.h"
#include "support/Process.h"
#include "ui/AlphaList.h"
#include "ui/ColorEdit.h"
#include "ui/ConfirmCancel.h"
#include "ui/HeaderBitmap.h"
#include "ui/HyperLink.h"
#include "ui/SubclassedWindow.h"
#include "ui/WizardSheet.h"
#include "ui/pages/WizLicense.h"
#include "ui/pages/WizSetConf.h"

namespace {

using PathText = CWizSetConf::PathText;

TEST(SettingsTextTest, FreeSpaceAskedForIsWhatTheFilesTakeAndAtLeast50MB)
{
    const uint64_t MB = 1024 * 1024;
    EXPECT_EQ(50u, CWizSetConf::RequiredFreeMegabytes(0));
    EXPECT_EQ(50u, CWizSetConf::RequiredFreeMegabytes(50 * MB));
    EXPECT_EQ(51u, CWizSetConf::RequiredFreeMegabytes(50 * MB + 1));
    // A product of 3.5 GB asks for its size, not for 50 MB; the archives
    // themselves take nothing, as they are read from the installer.
    EXPECT_EQ(3584u, CWizSetConf::RequiredFreeMegabytes(3584 * MB));
    EXPECT_EQ(4097u, CWizSetConf::RequiredFreeMegabytes(4096 * MB + 17));
}

TEST(SettingsTextTest, CleaningAsThePageDoesIt)
{
    struct Case {
        const wchar_t* text;
        PathText result;
        const wchar_t* cleaned;
    };
    const Case cases[] = {
        {L"  C:/Apps/Trader/  ", PathText::Valid, L"C:\\Apps\\Trader"},
        {L"C:\\Apps\\..\\Trader\\\\", PathText::Valid, L"C:\\Trader"},
        {L"Kestrel Trader", PathText::Valid, L"Kestrel Trader"},
        {L"C:\\Apps\\Trad?r", PathText::Invalid, L""},
        {L"C:\\Apps|Trader", PathText::Invalid, L""},
        {L"<group>", PathText::Invalid, L""},
        {L"     ", PathText::Invalid, L""},
        {L"\\\\\\", PathText::Invalid, L""},
        {L"", PathText::Invalid, L""},
    };
    for (const Case& c : cases) {
        TStrStatic<MAX_PATH> cleaned(L"old");
        EXPECT_EQ(c.result, CWizSetConf::CleanPathText(c.text, cleaned)) << testing::PrintToString(std::wstring(c.text));
        EXPECT_STREQ(c.cleaned, cleaned.GetString());
    }
    // Too long for a path: refused before it is canonicalised.
    TStrStatic<MAX_PATH> cleaned;
    EXPECT_EQ(PathText::Invalid, CWizSetConf::CleanPathText(std::wstring(MAX_PATH, L'a').c_str(), cleaned));
    EXPECT_EQ(PathText::Valid, CWizSetConf::CleanPathText(std::wstring(MAX_PATH - 1, L'a').c_str(), cleaned));
    EXPECT_EQ(258u, cleaned.GetLength());

    for (const wchar_t* group : {L"Kestrel Trader", L"Vendor\\Kestrel", L"a.b"})
        EXPECT_TRUE(CWizSetConf::IsGroupNameInside(group)) << testing::PrintToString(std::wstring(group));
    for (const wchar_t* group : {L"..", L".", L"..\\Startup", L"a\\..\\..", L"C:\\x", L"C:x", L"\\x"})
        EXPECT_FALSE(CWizSetConf::IsGroupNameInside(group)) << testing::PrintToString(std::wstring(group));
}

TEST(LicenseTableTest, WholeLocaleIdentifiersAreCompared)
{
    EXPECT_EQ(IDR_LICENSE_RUSSIAN, CWizLicense::LicenseResourceFor(0x0419));
    EXPECT_EQ(IDR_LICENSE_DEFAULT, CWizLicense::LicenseResourceFor(0x0819));
    EXPECT_EQ(IDR_LICENSE_DEFAULT, CWizLicense::LicenseResourceFor(1033));
    EXPECT_EQ(IDR_LICENSE_DEFAULT, CWizLicense::LicenseResourceFor(0));
}

// A 32-bit bitmap made of the given pixel values.
HBITMAP MakeBitmap(const std::vector<uint32_t>& pixels, int width)
{
    int height = static_cast<int>(pixels.size()) / width;
    BITMAPINFOHEADER header = {sizeof(header), width, -height, 1, 32, BI_RGB};
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBitmap(screen, &header, CBM_INIT, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
                                    DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

TEST(DominantColorTest, MostPixelsWinAndTiesGoToTheLargerValue)
{
    CWizardSheet sheet;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);

    HBITMAP single = MakeBitmap(std::vector<uint32_t>(12, 0x00336699), 4);
    EXPECT_EQ(RGB(0x33, 0x66, 0x99), sheet.GetDominantColor(memory, single, 4, 3));
    // Two colours, equal counts: the larger 32-bit value (red in the high byte).
    HBITMAP tie = MakeBitmap({0x00FF0000, 0x0000FF00, 0x00FF0000, 0x0000FF00}, 2);
    EXPECT_EQ(RGB(0xFF, 0, 0), sheet.GetDominantColor(memory, tie, 2, 2));
    HBITMAP most = MakeBitmap({0x000000FF, 0x00FF0000, 0x000000FF, 0x000000FF}, 2);
    EXPECT_EQ(RGB(0, 0, 0xFF), sheet.GetDominantColor(memory, most, 2, 2));
    // Nothing to read: white.
    EXPECT_EQ(RGB(255, 255, 255), sheet.GetDominantColor(memory, nullptr, 2, 2));
    EXPECT_EQ(RGB(255, 255, 255), sheet.GetDominantColor(nullptr, most, 2, 2));
    EXPECT_EQ(RGB(255, 255, 255), sheet.GetDominantColor(memory, most, 40000, 40000));

    DeleteObject(single);
    DeleteObject(tie);
    DeleteObject(most);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// A parent that reflects its controls' messages, as the pages do.
LRESULT CALLBACK ReflectingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (ReflectToControl(window, message, wParam, lParam, result) && result)
        return result;
    return DefWindowProcW(window, message, wParam, lParam);
}

class SmartEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = ReflectingProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"KxReflectingParent";
        RegisterClassW(&windowClass);
        m_parent = CreateWindowExW(0, L"KxReflectingParent", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                   nullptr, nullptr, nullptr, nullptr);
        m_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 24, m_parent,
                                 reinterpret_cast<HMENU>(260), nullptr, nullptr);
        m_other = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 50, 200, 24, m_parent, nullptr, nullptr,
                                  nullptr);
    }
    void TearDown() override { DestroyWindow(m_parent); }
    void Pump()
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }

    HWND m_parent = nullptr, m_edit = nullptr, m_other = nullptr;
};

TEST_F(SmartEditTest, HintShowsOnlyWhileEmptyAndUnfocused)
{
    CSmallSmartEdit box(IDS_FOLDER_HINT, 0x00282DD7);
    ASSERT_TRUE(box.AttachHint(m_edit));
    EXPECT_TRUE(box.IsHintShown());
    SetFocus(m_edit);
    Pump();
    EXPECT_FALSE(box.IsHintShown()) << "clicking in hides it";
    SetFocus(m_other);
    Pump();
    EXPECT_TRUE(box.IsHintShown()) << "left empty: shown again";
    SetFocus(m_edit);
    SetWindowTextW(m_edit, L"C:\\Apps");
    SetFocus(m_other);
    Pump();
    EXPECT_FALSE(box.IsHintShown()) << "left with text: hidden";
    SetFocus(m_edit);
    SetWindowTextW(m_edit, L"");
    Pump();
    EXPECT_TRUE(box.IsHintShown()) << "text deleted in a focused box: shown";
    // The box answers the reflected colour message with its own brush.
    HDC dc = GetDC(m_edit);
    EXPECT_NE(0, SendMessageW(m_edit, OCM_BASE + WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_edit)));
    ReleaseDC(m_edit, dc);
}

TEST(AlphaListTest, OneBitmapCutIntoItsImages)
{
    CAlphaList list;
    ASSERT_TRUE(list.AddBitmap(IDB_STEP_IMAGES, 18, 20));
    EXPECT_EQ(3, ImageList_GetImageCount(list.Get()));
    EXPECT_FALSE(list.AddBitmap(9999, 18, 20));
    EXPECT_EQ(3, ImageList_GetImageCount(list.Get()));
    ImageList_Destroy(list.Get());
}

TEST(ConfirmCancelTest, NoStaysAnythingElseCancels)
{
    {
        CDialogAnswerer answerer(IDNO);
        EXPECT_EQ(-1, ConfirmCancel());
        ASSERT_EQ(1u, answerer.Boxes().size());
        wchar_t text[256];
        LoadStringW(GetModuleHandleW(nullptr), IDS_CONFIRM_CANCEL, text, 256);
        EXPECT_EQ(std::wstring(text), answerer.Boxes()[0].text);
    }
    CDialogAnswerer answerer(IDYES);
    EXPECT_EQ(0, ConfirmCancel());
}

TEST(HyperLinkTest, EmptyAddressOpensNothing)
{
    ASSERT_TRUE(CHyperLinkM::RegisterWindowClass(GetModuleHandleW(nullptr)));
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr, nullptr, nullptr, nullptr);
    CHyperLinkM link;
    RECT rect = {10, 10, 200, 30};
    ASSERT_NE(nullptr, link.Create(parent, rect, L"Kestrel Markets Ltd.", WS_CHILD | WS_VISIBLE | SS_CENTER, 0));
    wchar_t className[64];
    GetClassNameW(link.GetHwnd(), className, 64);
    EXPECT_STREQ(HYPERLINK_CLASS, className);
    EXPECT_FALSE(link.Navigate());
    EXPECT_FALSE(link.IsVisited());
    EXPECT_EQ(DLGC_WANTCHARS, SendMessageW(link.GetHwnd(), WM_GETDLGCODE, 0, 0));
    // The mouse over it: hover; gone: not.
    SendMessageW(link.GetHwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(link.IsHover());
    SendMessageW(link.GetHwnd(), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(link.IsHover());
    DestroyWindow(parent);
}

TEST(HyperLinkTest, OnlyWebAndMailAddressesAreOpened)
{
    // The address comes from the package; opened elevated, a path or another
    // scheme would start a program. setup.exe without a package ends at once.
    std::wstring program = ProgramFolder() + L"\\setup.exe";
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr, nullptr, nullptr, nullptr);
    CHyperLinkM link;
    RECT rect = {10, 10, 200, 30};
    ASSERT_TRUE(CHyperLinkM::RegisterWindowClass(GetModuleHandleW(nullptr)));
    ASSERT_NE(nullptr, link.Create(parent, rect, L"Kestrel Markets Ltd.", WS_CHILD | WS_VISIBLE | SS_CENTER, 0));
    for (const std::wstring& address : {program, L"file:///" + program, L" http://x/" + program})  {
        link.SetAddress(address.c_str());
        EXPECT_FALSE(link.Navigate()) << testing::PrintToString(address);
        EXPECT_FALSE(link.IsVisited());
    }
    DestroyWindow(parent);
    for (const wchar_t* address : {L"http://kestrel.example/", L"HTTPS://kestrel.example/a?b", L"mailto:desk@kestrel.example"})
        EXPECT_TRUE(CHyperLinkM::IsOpenableAddress(address)) << testing::PrintToString(address);
    for (const wchar_t* address : {L"", L"http:", L"https//x", L"javascript:alert(1)", L"\\\\server\\share\\a.exe",
                                   L"C:\\Windows\\notepad.exe", L"ms-settings:", L"shell:startup"})
        EXPECT_FALSE(CHyperLinkM::IsOpenableAddress(address)) << testing::PrintToString(address);
}

// A BMP file: file header, info header, `tableBytes` of colour table or
// masks, and `bitsBytes` of pixel data.
std::vector<uint8_t> BmpFile(LONG width, LONG height, WORD bits, DWORD compression, DWORD sizeImage,
                             size_t tableBytes, size_t bitsBytes)
{
    std::vector<uint8_t> file(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + tableBytes + bitsBytes, 0);
    BITMAPINFOHEADER header = {sizeof(header), width, height, 1, bits, compression, sizeImage};
    memcpy(file.data() + sizeof(BITMAPFILEHEADER), &header, sizeof(header));
    return file;
}

TEST(HeaderBitmapTest, EverythingTheSystemReadsIsThere)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        bool usable;
        size_t bitsOffset;
    };
    const size_t headers = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const Case cases[] = {
        {"rgb 24-bit, whole", BmpFile(500, 60, 24, BI_RGB, 0, 0, 1500 * 60), true, headers},
        {"rgb 24-bit, a row short", BmpFile(500, 60, 24, BI_RGB, 0, 0, 1500 * 59), false, 0},
        {"bit fields, masks and every row", BmpFile(500, 60, 32, BI_BITFIELDS, 0, 12, 2000 * 60), true, headers + 12},
        {"bit fields, a row short", BmpFile(500, 60, 32, BI_BITFIELDS, 0, 12, 2000 * 60 - 12), false, 0},
        {"bit fields of 24 bits", BmpFile(500, 60, 24, BI_BITFIELDS, 0, 12, 1500 * 60), false, 0},
        {"rle8 as stated", BmpFile(10, 10, 8, BI_RLE8, 40, 1024, 40), true, headers + 1024},
        {"rle8 stated larger than there", BmpFile(10, 10, 8, BI_RLE8, 400000, 1024, 40), false, 0},
        {"rle8 without a stated size", BmpFile(10, 10, 8, BI_RLE8, 0, 1024, 40), false, 0},
        {"rle4 of 8 bits", BmpFile(10, 10, 8, BI_RLE4, 40, 1024, 40), false, 0},
        {"rle8 top-down", BmpFile(10, -10, 8, BI_RLE8, 40, 1024, 40), false, 0},
        {"jpeg", BmpFile(10, 10, 0, BI_JPEG, 40, 0, 40), false, 0},
    };
    for (const Case& c : cases) {
        const BITMAPINFOHEADER* info = nullptr;
        size_t offset = 0;
        EXPECT_EQ(c.usable, LocateBitmapBits(c.file.data(), c.file.size(), &info, &offset)) << c.what;
        if (c.usable)
            EXPECT_EQ(c.bitsOffset, offset) << c.what;
    }
}

} // namespace
