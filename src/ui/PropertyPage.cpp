#include "ui/PropertyPage.h"

#include <cstddef>

#include "ui/CommonControls.h"
#include "ui/PropertySheet.h"
#include "ui/SubclassedWindow.h"

namespace {

// PROPSHEETPAGEW up to hActCtx (the structure's third version): 52 bytes in
// a 32-bit program, more in a 64-bit one.
const DWORD PAGE_STRUCTURE_BYTES = offsetof(PROPSHEETPAGEW, hActCtx) + sizeof(HANDLE);
static_assert(sizeof(void*) != 4 || PAGE_STRUCTURE_BYTES == 52, "the 32-bit page structure is 52 bytes");

bool IsColourMessage(UINT message)
{
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

} // namespace

CPropertyPage::CPropertyPage(unsigned dialogId, const wchar_t* title) : m_nDialogId(dialogId)
{
    ZeroMemory(&m_page, sizeof(m_page));
    m_page.dwSize = PAGE_STRUCTURE_BYTES;
    m_page.dwFlags = PSP_USECALLBACK | PSP_USETITLE;
    m_page.hInstance = GetModuleHandleW(nullptr);
    m_page.pszTemplate = MAKEINTRESOURCEW(dialogId);
    m_page.pszTitle = title;
    m_page.pfnDlgProc = DialogProc;
    m_page.lParam = reinterpret_cast<LPARAM>(this);
    m_page.pfnCallback = PageCallback;
}

HPROPSHEETPAGE CPropertyPage::Create(CPropertySheet* sheet)
{
    m_pSheet = sheet;
    return CommonControls::CreatePage(&m_page);
}

UINT CALLBACK CPropertyPage::PageCallback(HWND, UINT message, LPPROPSHEETPAGEW)
{
    // PSPCB_CREATE: yes, make the page.
    return message == PSPCB_CREATE ? 1 : 0;
}

void CPropertyPage::SetWizardButtons(DWORD buttons) const
{
    PostMessageW(GetSheet(), PSM_SETWIZBUTTONS, 0, buttons);
}

bool CPropertyPage::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

INT_PTR CALLBACK CPropertyPage::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CPropertyPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
        SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = window;
        if (self->m_pSheet)
            self->m_pSheet->Bind(GetParent(window));
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CPropertyPage*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self)
        return FALSE;
    return self->Dispatch(message, wParam, lParam);
}

bool CPropertyPage::OnSheetNotify(const NMHDR& header, LRESULT& result)
{
    switch (header.code) {
    case PSN_SETACTIVE:
        result = OnSetActive();
        return true;
    case PSN_WIZNEXT:
        result = OnWizardNext();
        return true;
    case PSN_WIZBACK:
        result = OnWizardBack();
        return true;
    case PSN_WIZFINISH:
        result = OnWizardFinish();
        return true;
    case PSN_QUERYCANCEL:
        result = OnQueryCancel();
        return true;
    case PSN_QUERYINITIALFOCUS:
        result = OnQueryInitialFocus();
        return true;
    default:
        return false;
    }
}

INT_PTR CPropertyPage::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    bool answered = false;
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->hwndFrom == GetSheet()) {
        answered = OnSheetNotify(*reinterpret_cast<const NMHDR*>(lParam), result);
    } else if (message == WM_DESTROY) {
        OnDestroy();
        return FALSE;
    } else {
        answered = OnMessage(message, wParam, lParam, result);
        // What the page does not answer goes back to the control it came
        // from; an answer of 0 there leaves the message to the platform.
        if (!answered && ReflectToControl(m_hWnd, message, wParam, lParam, result))
            answered = result != 0;
    }
    if (!answered)
        return FALSE;
    // A dialog procedure hands colour brushes back directly, everything else
    // through DWLP_MSGRESULT.
    if (IsColourMessage(message))
        return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
