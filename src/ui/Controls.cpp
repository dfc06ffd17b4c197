#include "ui/Controls.h"

void CSimpleListViewCtrl::InsertRow(int index, const wchar_t* text) const
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text);
    item.iImage = -1;
    Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void CSimpleListViewCtrl::SetRowImage(int index, int image) const
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = image;
    Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}
