#include "ui/CommonControls.h"

#include "base/SystemLibrary.h"

namespace CommonControls {

BOOL InitControls(const INITCOMMONCONTROLSEX* controls)
{
    auto function = CommonControlsFunction<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>("InitCommonControlsEx");
    return function ? function(controls) : FALSE;
}

HPROPSHEETPAGE CreatePage(const PROPSHEETPAGEW* page)
{
    auto function = CommonControlsFunction<HPROPSHEETPAGE(WINAPI*)(const PROPSHEETPAGEW*)>(
        "CreatePropertySheetPageW");
    return function ? function(page) : nullptr;
}

BOOL DestroyPage(HPROPSHEETPAGE page)
{
    auto function = CommonControlsFunction<BOOL(WINAPI*)(HPROPSHEETPAGE)>("DestroyPropertySheetPage");
    return function ? function(page) : FALSE;
}

INT_PTR RunSheet(const PROPSHEETHEADERW* header)
{
    auto function = CommonControlsFunction<INT_PTR(WINAPI*)(const PROPSHEETHEADERW*)>("PropertySheetW");
    return function ? function(header) : -1;
}

HIMAGELIST CreateImageList(int width, int height, UINT flags, int initial, int grow)
{
    auto function = CommonControlsFunction<HIMAGELIST(WINAPI*)(int, int, UINT, int, int)>("ImageList_Create");
    return function ? function(width, height, flags, initial, grow) : nullptr;
}

COLORREF SetImageListBackground(HIMAGELIST list, COLORREF colour)
{
    auto function = CommonControlsFunction<COLORREF(WINAPI*)(HIMAGELIST, COLORREF)>("ImageList_SetBkColor");
    return function ? function(list, colour) : CLR_NONE;
}

int AddMaskedImages(HIMAGELIST list, HBITMAP bitmap, COLORREF mask)
{
    auto function = CommonControlsFunction<int(WINAPI*)(HIMAGELIST, HBITMAP, COLORREF)>("ImageList_AddMasked");
    return function ? function(list, bitmap, mask) : -1;
}

} // namespace CommonControls
