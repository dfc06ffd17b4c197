// Small window chores shared by the pages and dialogs.
#pragma once

#include <windows.h>

class CStr;

// Centres `window` over its owner, or on the work area when it has none.
void CenterWindow(HWND window);
// A window's rectangle in the client coordinates of `reference`.
RECT WindowRectIn(HWND window, HWND reference);
// The window's text into `text` (cut to its capacity).
void GetText(HWND window, CStr& text);
// Reads a control's text, formats it with one text for every %s (two at
// most) into a string of `capacity`, and sets it back.
void FormatControlText(HWND control, const wchar_t* value, unsigned capacity);
// A message box captioned with the product name, its text loaded by id.
int ShowTextBox(HWND owner, unsigned textId, UINT style);
// The system's text for `code` in an error box without owner, captioned
// with the product name.
void ShowSystemError(DWORD code);
