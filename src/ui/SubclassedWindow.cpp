#include "ui/SubclassedWindow.h"

namespace {

const wchar_t OBJECT_PROPERTY[] = L"KxSubclassObject";

} // namespace

CSubclassedWindow::~CSubclassedWindow()
{
    Detach();
}

bool CSubclassedWindow::Attach(HWND window)
{
    if (m_hWnd)
        return true;
    if (!window || !SetPropW(window, OBJECT_PROPERTY, this))
        return false;
    m_hWnd = window;
    m_prevProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
    return true;
}

void CSubclassedWindow::Detach()
{
    if (!m_hWnd)
        return;
    if (IsWindow(m_hWnd)) {
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_prevProc));
        RemovePropW(m_hWnd, OBJECT_PROPERTY);
    }
    m_hWnd = nullptr;
    m_prevProc = nullptr;
}

bool CSubclassedWindow::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

LRESULT CSubclassedWindow::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return CallWindowProcW(m_prevProc, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<CSubclassedWindow*>(GetPropW(window, OBJECT_PROPERTY));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    if (self->OnMessage(message, wParam, lParam, result))
        return result;
    if (message >= OCM_BASE && message <= OCM_BASE + WM_CTLCOLORSTATIC)
        return DefWindowProcW(window, message - OCM_BASE, wParam, lParam);
    WNDPROC previous = self->m_prevProc;
    if (message == WM_NCDESTROY)
        self->Detach();
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

bool ReflectToControl(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    HWND control = nullptr;
    switch (message) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        control = reinterpret_cast<HWND>(lParam);
        break;
    case WM_NOTIFY:
        control = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
        break;
    case WM_DRAWITEM:
        if (wParam)
            control = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
        break;
    default:
        return false;
    }
    if (!control || !IsChild(parent, control))
        return false;
    result = SendMessageW(control, message + OCM_BASE, wParam, lParam);
    return true;
}
