#include "ui/WindowHelpers.h"

#include "base/FileSystem.h"
#include "base/Str.h"
#include "state/State.h"

void CenterWindow(HWND window)
{
    RECT area, rect;
    GetWindowRect(window, &rect);
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &area);
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT WindowRectIn(HWND window, HWND reference)
{
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, reference, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void GetText(HWND window, CStr& text)
{
    if (!text.GetBuffer())
        return;
    GetWindowTextW(window, text.GetBuffer(), static_cast<int>(text.GetCapacity()));
    text.UpdateLength();
}

void FormatControlText(HWND control, const wchar_t* value, unsigned capacity)
{
    TStrStatic<512> pattern;
    GetText(control, pattern);
    // Room for the largest capacity in use; Format cuts nothing, so the
    // text is formatted into the caller's capacity below.
    TStrStatic<2048> text;
    text.Format(pattern, value, value);
    if (text.GetLength() >= capacity)
        text.Truncate(capacity - 1);
    SetWindowTextW(control, text);
}

int ShowTextBox(HWND owner, unsigned textId, UINT style)
{
    wchar_t text[256];
    Texts.LoadText(textId, text, 256);
    return MessageBoxW(owner, text, ProgramName, style);
}

void ShowSystemError(DWORD code)
{
    wchar_t text[1024];
    FormatSystemError(code, text, 1024);
    MessageBoxW(nullptr, text, ProgramName, MB_ICONERROR);
}
