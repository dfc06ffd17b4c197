// The step images of the progress pages: an image list of 32-bit images
// with alpha, cut from one bitmap. The list view that receives the list
// owns it.
#pragma once

#include <windows.h>
#include <commctrl.h>

class CAlphaList {
public:
    // Adds as many images of `width` x `height` as the bitmap holds.
    bool AddBitmap(unsigned bitmapId, int width, int height);
    HIMAGELIST Get() const { return m_hList; }

private:
    HIMAGELIST m_hList = nullptr;
};
