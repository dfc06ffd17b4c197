// A modal property sheet (the wizards are Wizard97 sheets): its header, its
// pages, and the sheet window taken over once it exists so that a derived
// sheet can answer its messages.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "base/Array.h"

class CPropertyPage;

class CPropertySheet {
public:
    CPropertySheet();
    virtual ~CPropertySheet();
    CPropertySheet(const CPropertySheet&) = delete;
    CPropertySheet& operator=(const CPropertySheet&) = delete;

    // Appends a page; a page whose handle cannot be made is left out.
    bool AddPage(CPropertyPage& page);
    void AddFlags(DWORD flags) { m_header.dwFlags |= flags; }
    // Runs the sheet: > 0 after Finish, 0 after Cancel or close, -1 when it
    // could not be made.
    INT_PTR DoModal(HWND parent);

    // Takes over the sheet window (called by the pages when they start).
    void Bind(HWND sheet);
    HWND GetHwnd() const { return m_hWnd; }

protected:
    // A message of the sheet window; true when answered.
    virtual bool OnSheetMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK SheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static int CALLBACK SheetCallback(HWND window, UINT message, LPARAM lParam);

    PROPSHEETHEADERW m_header;
    TArray<HPROPSHEETPAGE, 16> m_pages;
    WNDPROC m_prevProc = nullptr;
};
