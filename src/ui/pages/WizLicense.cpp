#include "ui/pages/WizLicense.h"

#include <cstring>

#include "state/State.h"
#include "base/SecureBuffer.h"
#include "res/ResourceIds.h"
#include "ui/ConfirmCancel.h"
#include "ui/WindowHelpers.h"

namespace {

// Locale -> built-in licence text; the row with locale 0 is the default.
const struct {
    LCID locale;
    unsigned resourceId;
} LICENSE_LOCALE_TABLE[] = {
    {0x0419, IDR_LICENSE_RUSSIAN},
    {0, IDR_LICENSE_DEFAULT},
};

// A built-in text shorter than this is taken as missing.
const DWORD LICENSE_RESOURCE_MIN_BYTES = 51;

} // namespace

CWizLicense::CWizLicense(const wchar_t* title) : CPropertyPage(IDD_LICENSE, title), m_text(RGB(255, 255, 255))
{
}

unsigned CWizLicense::LicenseResourceFor(LCID locale)
{
    unsigned i = 0;
    while (LICENSE_LOCALE_TABLE[i].locale && LICENSE_LOCALE_TABLE[i].locale != locale)
        ++i;
    return LICENSE_LOCALE_TABLE[i].resourceId;
}

BOOL CWizLicense::OnInitDialog()
{
    LCID locale = GetSystemDefaultLCID();
    m_text.Attach(GetItem(IDC_LICENSE_TEXT));
    m_agree.Attach(GetItem(IDC_AGREE));
    WidenToSheet();
    if (!LoadLicenseFromArchive(locale))
        LoadLicenseResource(locale);
    Texts.LocalizeDialog(m_hWnd, IDD_LICENSE);
    return FALSE;
}

void CWizLicense::WidenToSheet()
{
    HWND sheet = GetSheet();
    if (!sheet)
        return;
    // The page's right margin to the sheet window's edge becomes its left one.
    RECT sheetRect = WindowRectIn(sheet, m_hWnd);
    RECT page = WindowRectIn(m_hWnd, m_hWnd);
    page.right = sheetRect.right + sheetRect.left - page.left;
    RECT inParent = WindowRectIn(m_hWnd, sheet);
    SetWindowPos(m_hWnd, nullptr, 0, 0, page.right - page.left, inParent.bottom - inParent.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    RECT widened = WindowRectIn(m_hWnd, m_hWnd);
    RECT edit = WindowRectIn(m_text.GetHwnd(), m_hWnd);
    edit.right = widened.right + widened.left - edit.left - GetSystemMetrics(SM_CXHSCROLL) -
                 GetSystemMetrics(SM_CXBORDER) - 5;
    MoveWindow(m_text.GetHwnd(), edit.left, edit.top, edit.right - edit.left, edit.bottom - edit.top, TRUE);
}

bool CWizLicense::LoadLicenseFromArchive(LCID locale)
{
    if (!Package.m_pLicense)
        return false;
    CSecureBuffer text;
    if (!Package.m_pLicense->LoadLicenseText(locale, text))
        return false;
    // The text from its second character on, which a licence file's byte
    // order mark takes up. The text ends within the buffer (see LoadLicenseText).
    const auto* characters = reinterpret_cast<const wchar_t*>(text.Data());
    SetWindowTextW(m_text.GetHwnd(), characters + 1);
    return true;
}

void CWizLicense::LoadLicenseResource(LCID locale)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(LicenseResourceFor(locale)), L"LNG");
    DWORD size = found ? SizeofResource(module, found) : 0;
    if (size < LICENSE_RESOURCE_MIN_BYTES)
        return;
    HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!bytes)
        return;
    CSecureBuffer copy;
    if (copy.Allocate((size / 2 + 1) * sizeof(wchar_t))) {
        size_t skip = bytes[0] == 0xFF ? 2 : 0;
        memcpy(copy.Data(), bytes + skip, size - skip);
        // Ends right after the copied text (an odd last byte is dropped).
        reinterpret_cast<wchar_t*>(copy.Data())[(size - skip) / 2] = 0;
        SetWindowTextW(m_text.GetHwnd(), reinterpret_cast<const wchar_t*>(copy.Data()));
    }
    FreeResource(loaded);
}

void CWizLicense::UpdateButtons() const
{
    SetWizardButtons(m_agree.IsChecked() ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
}

LRESULT CWizLicense::OnSetActive()
{
    UpdateButtons();
    return 0;
}

LRESULT CWizLicense::OnWizardBack()
{
    return IDD_WELCOME;
}

LRESULT CWizLicense::OnQueryCancel()
{
    return ConfirmCancel();
}

bool CWizLicense::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_AGREE && HIWORD(wParam) == BN_CLICKED) {
        UpdateButtons();
        result = 0;
        return true;
    }
    return false;
}
