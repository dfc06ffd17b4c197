#include "ui/ColorEdit.h"

#include "state/State.h"

bool CSmallColorEdit::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case OCM_BASE + WM_CTLCOLORSTATIC: {
        // A read-only edit asks for this one.
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        result = reinterpret_cast<LRESULT>(m_brush.Get());
        return true;
    }
    case WM_CONTEXTMENU:
        result = 0;
        return true;
    default:
        return false;
    }
}

CSmallSmartEdit::CSmallSmartEdit(unsigned hintTextId, COLORREF hintColour)
    : CSmallColorCtrlBase(GetSysColor(COLOR_WINDOW)), m_nHintId(hintTextId), m_hintColour(hintColour),
      m_background(GetSysColor(COLOR_WINDOW)), m_textColour(GetSysColor(COLOR_WINDOWTEXT))
{
}

bool CSmallSmartEdit::AttachHint(HWND window)
{
    if (!Attach(window))
        return false;
    Texts.LoadText(m_nHintId, m_hint.GetBuffer(), 255);
    m_hint.UpdateLength();
    m_hHintFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return true;
}

void CSmallSmartEdit::UpdateHint()
{
    m_bHintShown = GetWindowTextLengthW(m_hWnd) <= 0;
}

bool CSmallSmartEdit::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case OCM_BASE + WM_COMMAND:
        switch (HIWORD(wParam)) {
        case EN_SETFOCUS:
            m_bHintShown = false;
            break;
        case EN_KILLFOCUS:
            UpdateHint();
            break;
        case EN_UPDATE:
            UpdateHint();
            m_textColour = GetSysColor(COLOR_WINDOWTEXT);
            break;
        }
        result = 0;
        return true;
    case OCM_BASE + WM_CTLCOLOREDIT: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, m_textColour);
        SetBkColor(dc, m_background);
        result = reinterpret_cast<LRESULT>(m_brush.Get());
        return true;
    }
    case WM_PAINT:
        // The edit paints itself first; the hint goes over the empty box.
        result = CallPrevious(message, wParam, lParam);
        if (m_bHintShown && result != -1 && IsWindowEnabled(m_hWnd))
            PaintHint();
        return true;
    default:
        return false;
    }
}

void CSmallSmartEdit::PaintHint()
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    HDC dc = GetWindowDC(m_hWnd);
    if (!dc)
        return;
    int saved = SaveDC(dc);
    SelectObject(dc, m_hHintFont);
    SIZE size = {};
    GetTextExtentPoint32W(dc, m_hint, static_cast<int>(m_hint.GetLength()), &size);
    SetTextColor(dc, m_hintColour);
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, (client.left + client.right - size.cx) / 2, (client.top + client.bottom - size.cy) / 2, m_hint,
             static_cast<int>(m_hint.GetLength()));
    RestoreDC(dc, saved);
    ReleaseDC(m_hWnd, dc);
}
