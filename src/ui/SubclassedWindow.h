// Taking over a window that a dialog template made (subclassing), so that
// an object can answer its messages. Messages that the parent reflects back
// to the control arrive as their number plus OCM_BASE; one the control does
// not answer gets the platform's default answer for the message it stands for.
#pragma once

#include <windows.h>

// Reflected messages: the original number plus this.
const UINT OCM_BASE = 0x2000;

class CSubclassedWindow {
public:
    CSubclassedWindow() = default;
    virtual ~CSubclassedWindow();
    CSubclassedWindow(const CSubclassedWindow&) = delete;
    CSubclassedWindow& operator=(const CSubclassedWindow&) = delete;

    // Takes over `window` once; a second call for an attached object is ignored.
    bool Attach(HWND window);
    void Detach();
    HWND GetHwnd() const { return m_hWnd; }
    bool IsAttached() const { return m_hWnd != nullptr; }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return SendMessageW(m_hWnd, message, wParam, lParam);
    }

protected:
    // True when the message was answered; `result` is the answer.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The window's own procedure, from before the subclassing.
    LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) const;

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC m_prevProc = nullptr;
};

// Sends a message that a parent received from one of its controls back to
// that control as a reflected message. True when there was a control to send
// it to; `result` is its answer.
bool ReflectToControl(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
