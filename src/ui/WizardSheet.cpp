#include "ui/WizardSheet.h"

#include <cstdlib>

#include "state/State.h"
#include "base/SecureBuffer.h"
#include "res/ResourceIds.h"
#include "ui/HeaderBitmap.h"
#include "ui/WindowHelpers.h"

namespace {

const uint64_t MAX_HISTOGRAM_PIXELS = 1u << 30;
const COLORREF LINK_HOVER_COLOR = 0x00EE0000;

// Largest pixel value first.
int CompareDescending(const void* a, const void* b)
{
    uint32_t left = *static_cast<const uint32_t*>(a), right = *static_cast<const uint32_t*>(b);
    return left > right ? -1 : left < right ? 1 : 0;
}

} // namespace

CWizardSheet::CWizardSheet()
{
    // PSH_HEADER makes every platform reserve the header area above the
    // pages (Wine reserves it only then); the sheet paints that area itself.
    AddFlags(PSH_WIZARD97 | PSH_HEADER);
}

bool CWizardSheet::OnSheetMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_ERASEBKGND:
        result = OnEraseBackground(reinterpret_cast<HDC>(wParam));
        return true;
    case WM_PAINT: {
        // Nothing but the erased background: the platform's own header
        // painting would cover the band.
        PAINTSTRUCT paint;
        BeginPaint(m_hWnd, &paint);
        EndPaint(m_hWnd, &paint);
        result = 0;
        return true;
    }
    default:
        return false;
    }
}

LRESULT CWizardSheet::OnEraseBackground(HDC dc)
{
    CMemoryDC memory(dc);
    RECT client;
    GetClientRect(m_hWnd, &client);
    FillRect(dc, &client, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));

    if (!m_headerBitmap) {
        m_headerBitmap.Attach(LoadHeaderBitmap(dc));
        if (!m_headerBitmap) {
            m_headerBitmap.Attach(LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_HEADER)));
            BITMAP info = {};
            if (m_headerBitmap && GetObjectW(m_headerBitmap.Get(), sizeof(info), &info)) {
                m_nBitmapWidth = info.bmWidth;
                m_nBitmapHeight = info.bmHeight;
            }
        }
        HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_SETUP));
        SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        CreateCompanyLink(dc);
    }

    CSelectObject selected(memory.Get(), m_headerBitmap.Get());
    HWND headerLine = GetDlgItem(m_hWnd, ID_WIZ_HEADER_LINE);
    if (headerLine && m_headerBitmap) {
        RECT line = WindowRectIn(headerLine, m_hWnd);
        RECT band = {line.left, 0, line.right, line.top};
        int x = (line.right - line.left - m_nBitmapWidth) / 2;
        int y = (line.top - m_nBitmapHeight) / 2;
        if (!m_bBandColorKnown) {
            m_bandColor = GetDominantColor(memory.Get(), m_headerBitmap.Get(), m_nBitmapWidth, m_nBitmapHeight);
            m_bBandColorKnown = true;
        }
        CBrush brush(CreateSolidBrush(m_bandColor));
        FillRect(dc, &band, brush.Get());
        BitBlt(dc, x, y, m_nBitmapWidth, m_nBitmapHeight, memory.Get(), 0, 0, SRCCOPY);
    }
    return 1;
}

void CWizardSheet::CreateCompanyLink(HDC dc)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    SIZE text = {};
    {
        CSelectObject selected(dc, font);
        GetTextExtentPoint32W(dc, CompanyName, static_cast<int>(CompanyName.GetLength()), &text);
    }
    HWND bottomLine = GetDlgItem(m_hWnd, ID_WIZ_BOTTOM_LINE);
    if (!bottomLine)
        return;
    RECT line = WindowRectIn(bottomLine, m_hWnd);
    RECT rect = {line.left + 15, line.top - text.cy / 2, line.left + 25 + text.cx, line.bottom + text.cy / 2};
    if (!m_companyLink.Create(m_hWnd, rect, CompanyName, WS_CHILD | WS_VISIBLE | SS_CENTER, 0))
        return;
    m_companyLink.SetLinkFont(font);
    m_companyLink.SetAddress(m_companyLinkAddress);
    m_companyLink.SetLabel(CompanyName);
    m_companyLink.SetBackgroundColor(GetSysColor(COLOR_BTNFACE));
    m_companyLink.SetLinkColors(GetSysColor(COLOR_GRAYTEXT), GetSysColor(COLOR_GRAYTEXT), LINK_HOVER_COLOR);
}

HBITMAP CWizardSheet::LoadHeaderBitmap(HDC dc)
{
    CSecureBuffer file;
    if (!Package.m_pLicense || !Package.m_pLicense->GetBitmapRecord(file))
        return nullptr;
    // The pixel bits must all be there before the system reads them.
    const BITMAPINFOHEADER* info = nullptr;
    size_t bitsOffset = 0;
    if (!LocateBitmapBits(file.Data(), file.Size(), &info, &bitsOffset))
        return nullptr;
    int rows = info->biHeight < 0 ? -info->biHeight : info->biHeight;
    HBITMAP bitmap = CreateDIBitmap(dc, info, CBM_INIT, file.Data() + bitsOffset,
                                    reinterpret_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS);
    m_nBitmapWidth = info->biWidth;
    // A top-down bitmap has a negative height; it is drawn upright all the same.
    m_nBitmapHeight = rows;
    Package.m_pLicense->GetConfigValue(L"company_link=", m_companyLinkAddress);
    return bitmap;
}

COLORREF CWizardSheet::GetDominantColor(HDC dc, HBITMAP bitmap, int width, int height)
{
    const COLORREF white = 0xFFFFFF;
    if (!dc || !bitmap || width <= 0 || height <= 0)
        return white;
    uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (pixels >= MAX_HISTOGRAM_PIXELS)
        return white;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height; // top-down
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(pixels * 4);
    auto* values = static_cast<uint32_t*>(malloc(static_cast<size_t>(pixels) * 4));
    if (!values)
        return white;
    if (!GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), values, reinterpret_cast<BITMAPINFO*>(&header),
                   DIB_RGB_COLORS)) {
        free(values);
        return white;
    }
    // The histogram sorted largest value first, built from the sorted pixels
    // (the same histogram as inserting them one by one, without moving it
    // around for every new colour).
    qsort(values, static_cast<size_t>(pixels), sizeof(uint32_t), CompareDescending);
    m_colorStats.RemoveAll();
    for (size_t i = 0; i < pixels;) {
        size_t run = i;
        while (run < pixels && values[run] == values[i])
            ++run;
        COLOR_STAT stat = {values[i], static_cast<uint32_t>(run - i)};
        m_colorStats.Add(stat);
        i = run;
    }
    free(values);
    // The first strictly larger count wins: among equal counts, the larger value.
    const COLOR_STAT* best = nullptr;
    for (unsigned i = 0; i < m_colorStats.GetCount(); ++i)
        if (!best || m_colorStats[i].count > best->count)
            best = m_colorStats.GetAt(i);
    if (!best)
        return white;
    return RGB((best->value >> 16) & 0xFF, (best->value >> 8) & 0xFF, best->value & 0xFF);
}
