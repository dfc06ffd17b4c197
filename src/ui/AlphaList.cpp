#include "ui/AlphaList.h"

#include "ui/CommonControls.h"
#include "ui/GdiObjects.h"

bool CAlphaList::AddBitmap(unsigned bitmapId, int width, int height)
{
    if (!m_hList) {
        m_hList = CommonControls::CreateImageList(width, height, ILC_COLOR32, 0, 4);
        if (!m_hList)
            return false;
        CommonControls::SetImageListBackground(m_hList, CLR_NONE);
    }
    CBitmap bitmap(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId),
                                                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_DEFAULTSIZE)));
    if (!bitmap)
        return false;
    // White is the mask colour; the alpha channel gives the shapes.
    return CommonControls::AddMaskedImages(m_hList, bitmap.Get(), RGB(255, 255, 255)) >= 0;
}
