// The controls the pages talk to but do not change: attached to the windows
// that the dialog templates make, with the few calls the pages need.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/SubclassedWindow.h"

class CSimpleButton : public CSubclassedWindow {
public:
    bool IsChecked() const { return Send(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool checked) const { Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
};

class CSimpleStatic : public CSubclassedWindow {};

class CSimpleEdit : public CSubclassedWindow {};

class CSimpleProgressBarCtrl : public CSubclassedWindow {
public:
    void SetRange(WORD low, WORD high) const { Send(PBM_SETRANGE, 0, MAKELPARAM(low, high)); }
    void SetPos(int position) const { Send(PBM_SETPOS, position); }
    void SetBarColor(COLORREF colour) const { Send(PBM_SETBARCOLOR, 0, colour); }
};

class CSimpleListViewCtrl : public CSubclassedWindow {
public:
    void SetImageList(HIMAGELIST list, int kind) const { Send(LVM_SETIMAGELIST, kind, reinterpret_cast<LPARAM>(list)); }
    // A row of text without image (-1) at `index`.
    void InsertRow(int index, const wchar_t* text) const;
    void SetRowImage(int index, int image) const;
};
