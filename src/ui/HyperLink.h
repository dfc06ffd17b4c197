// The company link on the wizard's sheet: a label that opens an address in
// the browser. Hand cursor, hover colour and underline only while the mouse
// is over it, a tooltip with the address, Enter or Space opens it like a click.
#pragma once

#include <windows.h>

#include "base/Str.h"
#include "ui/GdiObjects.h"

// Window class of the link (registered by the UI module).
extern const wchar_t HYPERLINK_CLASS[];

class CHyperLinkM {
public:
    CHyperLinkM() = default;
    ~CHyperLinkM();
    CHyperLinkM(const CHyperLinkM&) = delete;
    CHyperLinkM& operator=(const CHyperLinkM&) = delete;

    static bool RegisterWindowClass(HINSTANCE instance);
    static void UnregisterWindowClass(HINSTANCE instance);

    HWND Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, UINT id);
    void SetLinkFont(HFONT font) { m_hLinkFont = font; }
    void SetAddress(const wchar_t* address);
    void SetLabel(const wchar_t* label);
    void SetBackgroundColor(COLORREF colour) { m_background = colour; }
    // A hover colour of (COLORREF)-1 is the system's highlight colour.
    void SetLinkColors(COLORREF normal, COLORREF visited, COLORREF hover);

    // Opens the address; nothing for an empty one. True when the shell opened it.
    bool Navigate();
    // Whether an address may be opened: http, https and mailto only. The
    // address comes from the package and would be opened with the
    // installer's administrator rights; a path or another scheme could
    // start a program.
    static bool IsOpenableAddress(const wchar_t* address);

    HWND GetHwnd() const { return m_hWnd; }
    bool IsVisited() const { return m_bVisited; }
    bool IsHover() const { return m_bHover; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc);
    void SetHover(bool hover);
    bool IsInside(LPARAM point) const;
    void UpdateTooltip();

    HWND m_hWnd = nullptr;
    HWND m_hTooltip = nullptr;
    HFONT m_hLinkFont = nullptr; // the sheet's font: borrowed
    CFont m_underlineFont;
    COLORREF m_normal = 0x00EE0000;
    COLORREF m_visited = 0x00EE0000;
    COLORREF m_hover = 0x00EE0000;
    COLORREF m_background = 0;
    TStrStatic<0x104> m_label;
    TStrStatic<0x104> m_address;
    bool m_bHover = false;
    bool m_bVisited = false;
    bool m_bPressed = false;
};
