// A property-sheet page: the page's dialog procedure turns the sheet's
// notifications into overridables whose results go back as the sheet takes
// them, and reflects the controls' messages back to the controls.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

class CPropertySheet;

class CPropertyPage {
public:
    CPropertyPage(unsigned dialogId, const wchar_t* title);
    virtual ~CPropertyPage() = default;
    CPropertyPage(const CPropertyPage&) = delete;
    CPropertyPage& operator=(const CPropertyPage&) = delete;

    // The page's handle for the sheet; `sheet` is told when the page's
    // window exists, so that it can take over the sheet window.
    HPROPSHEETPAGE Create(CPropertySheet* sheet);
    HWND GetHwnd() const { return m_hWnd; }
    unsigned GetDialogId() const { return m_nDialogId; }

protected:
    // The answers to the sheet's notifications (PSN_*): page ids to go to,
    // -1 to stay, 0 for the default.
    virtual LRESULT OnSetActive() { return 0; }
    virtual LRESULT OnWizardNext() { return 0; }
    virtual LRESULT OnWizardBack() { return 0; }
    virtual LRESULT OnWizardFinish() { return 0; }
    virtual LRESULT OnQueryCancel() { return 0; }
    // The window to get the focus first, or 0.
    virtual LRESULT OnQueryInitialFocus() { return 0; }
    // WM_INITDIALOG's answer.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnDestroy() {}
    // Any other message before it is reflected to a control; true when answered.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    HWND GetSheet() const { return GetParent(m_hWnd); }
    HWND GetItem(int id) const { return GetDlgItem(m_hWnd, id); }
    void SetWizardButtons(DWORD buttons) const;

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static UINT CALLBACK PageCallback(HWND window, UINT message, LPPROPSHEETPAGEW page);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnSheetNotify(const NMHDR& header, LRESULT& result);

    PROPSHEETPAGEW m_page;
    unsigned m_nDialogId;
    CPropertySheet* m_pSheet = nullptr;
};
