#include "ui/HyperLink.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <initializer_list>

const wchar_t HYPERLINK_CLASS[] = L"WTL_HyperLink";

bool CHyperLinkM::RegisterWindowClass(HINSTANCE instance)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_HAND);
    windowClass.lpszClassName = HYPERLINK_CLASS;
    return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void CHyperLinkM::UnregisterWindowClass(HINSTANCE instance)
{
    UnregisterClassW(HYPERLINK_CLASS, instance);
}

CHyperLinkM::~CHyperLinkM()
{
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

HWND CHyperLinkM::Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, UINT id)
{
    m_hWnd = CreateWindowExW(0, HYPERLINK_CLASS, text, style, rect.left, rect.top, rect.right - rect.left,
                             rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                             GetModuleHandleW(nullptr), this);
    return m_hWnd;
}

void CHyperLinkM::SetAddress(const wchar_t* address)
{
    m_address.Assign(address);
    UpdateTooltip();
}

void CHyperLinkM::SetLabel(const wchar_t* label)
{
    m_label.Assign(label);
    UpdateTooltip();
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CHyperLinkM::SetLinkColors(COLORREF normal, COLORREF visited, COLORREF hover)
{
    m_normal = normal;
    m_visited = visited;
    m_hover = hover == static_cast<COLORREF>(-1) ? GetSysColor(COLOR_HIGHLIGHT) : hover;
}

bool CHyperLinkM::Navigate()
{
    // An empty or refused address opens nothing and leaves the link unvisited.
    if (m_address.IsEmpty() || !IsOpenableAddress(m_address))
        return false;
    HINSTANCE result = ShellExecuteW(nullptr, L"open", m_address, nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        return false;
    m_bVisited = true;
    InvalidateRect(m_hWnd, nullptr, TRUE);
    return true;
}

bool CHyperLinkM::IsOpenableAddress(const wchar_t* address)
{
    if (!address)
        return false;
    for (const wchar_t* scheme : {L"http://", L"https://", L"mailto:"}) {
        size_t length = wcslen(scheme);
        if (_wcsnicmp(address, scheme, length) == 0 && address[length])
            return true;
    }
    return false;
}

void CHyperLinkM::UpdateTooltip()
{
    if (!m_hTooltip)
        return;
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = m_hWnd;
    tool.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    tool.lpszText = const_cast<wchar_t*>(m_address.IsEmpty() ? m_label.GetString() : m_address.GetString());
    SendMessageW(m_hTooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

LRESULT CALLBACK CHyperLinkM::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<CHyperLinkM*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self)
            self->m_hWnd = window;
    }
    auto* self = reinterpret_cast<CHyperLinkM*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = self->OnMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
    }
    return result;
}

bool CHyperLinkM::IsInside(LPARAM point) const
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    POINT p = {static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    return PtInRect(&client, p) != FALSE;
}

void CHyperLinkM::SetHover(bool hover)
{
    if (hover == m_bHover)
        return;
    m_bHover = hover;
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

LRESULT CHyperLinkM::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        m_label.Assign(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpszName);
        m_hTooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        if (m_hTooltip) {
            TOOLINFOW tool = {};
            tool.cbSize = sizeof(tool);
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = m_hWnd;
            tool.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
            tool.lpszText = const_cast<wchar_t*>(m_label.GetString());
            SendMessageW(m_hTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        return 0;
    }
    case WM_DESTROY:
        if (m_hTooltip)
            DestroyWindow(m_hTooltip);
        m_hTooltip = nullptr;
        return 0;
    case WM_MOUSEMOVE:
        if (!m_bHover) {
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, m_hWnd, 0};
            TrackMouseEvent(&track);
        }
        SetHover(IsInside(lParam));
        return 0;
    case WM_MOUSELEAVE:
        SetHover(false);
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus(m_hWnd);
        SetCapture(m_hWnd);
        m_bPressed = true;
        return 0;
    case WM_LBUTTONUP:
        if (m_bPressed) {
            m_bPressed = false;
            ReleaseCapture();
            if (IsInside(lParam))
                Navigate();
        }
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS;
    case WM_CHAR:
        if (wParam == VK_RETURN || wParam == VK_SPACE)
            Navigate();
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(m_hWnd, nullptr, TRUE);
        return 0;
    case WM_ERASEBKGND:
        Paint(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_PAINT: {
        // Drawn once, with the rules of the erase step.
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(m_hWnd, &paint);
        if (paint.fErase)
            Paint(dc);
        EndPaint(m_hWnd, &paint);
        return 0;
    }
    default:
        return DefWindowProcW(m_hWnd, message, wParam, lParam);
    }
}

void CHyperLinkM::Paint(HDC dc)
{
    if (!m_underlineFont && m_hLinkFont) {
        LOGFONTW font;
        if (GetObjectW(m_hLinkFont, sizeof(font), &font)) {
            font.lfUnderline = 1;
            m_underlineFont.Attach(CreateFontIndirectW(&font));
        }
    }
    RECT client;
    GetClientRect(m_hWnd, &client);
    SetBkColor(dc, m_background);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    SetBkMode(dc, TRANSPARENT);
    // Over the link: the hover colour and the underlined font; else the
    // normal colour and the link font.
    bool hover = m_bHover && m_underlineFont;
    COLORREF oldColour = SetTextColor(dc, hover ? m_hover : m_normal);
    CSelectObject font(dc, hover ? m_underlineFont.Get() : m_hLinkFont);
    DrawTextW(dc, m_label, static_cast<int>(m_label.GetLength()), &client, DT_CENTER);
    SetTextColor(dc, oldColour);
}
