#include "ui/PropertySheet.h"

#include <cstddef>

#include "ui/CommonControls.h"
#include "ui/PropertyPage.h"

namespace {

// PROPSHEETHEADERW up to the header bitmap, watermark fields included (the
// structure's second version): 52 bytes in a 32-bit program, more in a
// 64-bit one, where handles and pointers are 8 bytes.
const DWORD HEADER_STRUCTURE_BYTES = offsetof(PROPSHEETHEADERW, hbmHeader) + sizeof(HBITMAP);
static_assert(sizeof(void*) != 4 || HEADER_STRUCTURE_BYTES == 52, "the 32-bit header is 52 bytes");
const wchar_t SHEET_PROPERTY[] = L"KxSheetObject";

} // namespace

CPropertySheet::CPropertySheet()
{
    ZeroMemory(&m_header, sizeof(m_header));
    m_header.dwSize = HEADER_STRUCTURE_BYTES;
    m_header.dwFlags = PSH_USECALLBACK;
    m_header.hInstance = GetModuleHandleW(nullptr);
    m_header.pfnCallback = SheetCallback;
}

CPropertySheet::~CPropertySheet()
{
    // Handles the sheet never took.
    for (unsigned i = 0; i < m_pages.GetCount(); ++i)
        CommonControls::DestroyPage(m_pages[i]);
}

int CALLBACK CPropertySheet::SheetCallback(HWND, UINT, LPARAM)
{
    // The sheet window is taken over by the first page that starts (Bind).
    return 0;
}

bool CPropertySheet::AddPage(CPropertyPage& page)
{
    HPROPSHEETPAGE handle = page.Create(this);
    if (!handle)
        return false;
    if (!m_pages.Add(handle)) {
        CommonControls::DestroyPage(handle);
        return false;
    }
    return true;
}

INT_PTR CPropertySheet::DoModal(HWND parent)
{
    m_header.dwFlags &= ~PSH_MODELESS;
    if (!m_header.hwndParent)
        m_header.hwndParent = parent;
    m_header.nPages = m_pages.GetCount();
    m_header.phpage = m_pages.GetAt(0);
    INT_PTR result = CommonControls::RunSheet(&m_header);
    // The pages now belong to the sheet, which has destroyed them.
    m_pages.RemoveAll();
    m_header.phpage = nullptr;
    m_header.nPages = 0;
    return result;
}

void CPropertySheet::Bind(HWND sheet)
{
    if (m_hWnd || !sheet || !SetPropW(sheet, SHEET_PROPERTY, this))
        return;
    m_hWnd = sheet;
    m_prevProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(sheet, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SheetProc)));
}

bool CPropertySheet::OnSheetMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

LRESULT CALLBACK CPropertySheet::SheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<CPropertySheet*>(GetPropW(window, SHEET_PROPERTY));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    if (self->OnSheetMessage(message, wParam, lParam, result))
        return result;
    WNDPROC previous = self->m_prevProc;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(window, SHEET_PROPERTY);
        self->m_hWnd = nullptr;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}
