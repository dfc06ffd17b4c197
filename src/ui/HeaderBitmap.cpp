#include "ui/HeaderBitmap.h"

bool LocateBitmapBits(const uint8_t* file, size_t size, const BITMAPINFOHEADER** info, size_t* bitsOffset)
{
    const size_t fileHeader = sizeof(BITMAPFILEHEADER);
    if (!file || size < fileHeader + sizeof(BITMAPINFOHEADER))
        return false;
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(file + fileHeader);
    if (header->biSize < sizeof(BITMAPINFOHEADER) || header->biWidth <= 0 || header->biHeight == 0)
        return false;
    uint64_t colours = header->biClrUsed;
    if (colours == 0 && (header->biBitCount == 1 || header->biBitCount == 4 || header->biBitCount == 8))
        colours = 1u << header->biBitCount;
    // A bit-field bitmap with the short info header keeps its masks where
    // the colour table would be; the system reads them from there.
    if (header->biCompression == BI_BITFIELDS && header->biSize == sizeof(BITMAPINFOHEADER))
        colours += 3;
    uint64_t offset = fileHeader + static_cast<uint64_t>(header->biSize) + colours * 4;
    if (offset >= size)
        return false;
    uint64_t available = size - offset;
    uint64_t rows = static_cast<uint64_t>(header->biHeight < 0 ? -static_cast<int64_t>(header->biHeight)
                                                                : header->biHeight);
    uint64_t stride = ((static_cast<uint64_t>(header->biWidth) * header->biBitCount + 31) / 32) * 4;
    uint64_t needed;
    switch (header->biCompression) {
    case BI_RGB:
        needed = stride * rows;
        break;
    case BI_BITFIELDS:
        if (header->biBitCount != 16 && header->biBitCount != 32)
            return false;
        needed = stride * rows;
        break;
    case BI_RLE8:
    case BI_RLE4:
        // Decoded by the system up to the stated size: it must be stated,
        // and there. Encoded bitmaps are bottom-up only.
        if (header->biBitCount != (header->biCompression == BI_RLE8 ? 8 : 4) || header->biHeight < 0 ||
            header->biSizeImage == 0)
            return false;
        needed = header->biSizeImage;
        break;
    default:
        return false; // JPEG, PNG and the like are not drawn here
    }
    if (needed == 0 || needed > available)
        return false;
    *info = header;
    *bitsOffset = static_cast<size_t>(offset);
    return true;
}
