// The functions of the common controls DLL the pages use. The DLL is not
// imported (see GetCommonControlsFunction): each call finds its function in
// the loaded DLL and fails as the function itself fails when it is missing.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace CommonControls {

BOOL InitControls(const INITCOMMONCONTROLSEX* controls);
HPROPSHEETPAGE CreatePage(const PROPSHEETPAGEW* page);
BOOL DestroyPage(HPROPSHEETPAGE page);
INT_PTR RunSheet(const PROPSHEETHEADERW* header); // -1 when it cannot run
HIMAGELIST CreateImageList(int width, int height, UINT flags, int initial, int grow);
COLORREF SetImageListBackground(HIMAGELIST list, COLORREF colour);
int AddMaskedImages(HIMAGELIST list, HBITMAP bitmap, COLORREF mask); // -1 on failure

} // namespace CommonControls
