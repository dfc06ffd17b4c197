// What both wizards add to the platform's Wizard97 sheet: the header band
// (the product's bitmap centred on a band of its dominant colour, else the
// built-in bitmap), the wizard icon, and the company link at the left end of
// the line above the buttons.
#pragma once

#include <cstdint>

#include "base/Array.h"
#include "base/Str.h"
#include "ui/GdiObjects.h"
#include "ui/HyperLink.h"
#include "ui/PropertySheet.h"

// Controls of the platform's wizard frame.
const int ID_WIZ_BOTTOM_LINE = 0x3026;
const int ID_WIZ_HEADER_LINE = 0x3027;

class CWizardSheet : public CPropertySheet {
public:
    // One entry of the colour histogram: a 32-bit pixel value (blue, green,
    // red, reserved from the low byte up) and how many pixels have it.
    struct COLOR_STAT {
        uint32_t value;
        uint32_t count;
    };

    CWizardSheet();

    // The colour most pixels of the bitmap have (the larger pixel value among
    // equal counts); white when it cannot be read.
    COLORREF GetDominantColor(HDC dc, HBITMAP bitmap, int width, int height);

    COLORREF GetBandColor() const { return m_bandColor; }
    const CHyperLinkM& GetCompanyLink() const { return m_companyLink; }

protected:
    bool OnSheetMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    LRESULT OnEraseBackground(HDC dc);
    // The product's header bitmap from the package (and the company link's
    // address with it); none when there is no valid one.
    HBITMAP LoadHeaderBitmap(HDC dc);
    void CreateCompanyLink(HDC dc);

    CBitmap m_headerBitmap;
    COLORREF m_bandColor = 0xFFFFFF;
    bool m_bBandColorKnown = false;
    int m_nBitmapHeight = 0;
    int m_nBitmapWidth = 0;
    TStrStatic<0x104> m_companyLinkAddress;
    CHyperLinkM m_companyLink;
    TArray<COLOR_STAT, 16> m_colorStats;
};
