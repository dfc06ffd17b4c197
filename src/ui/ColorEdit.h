// Edit boxes that paint themselves: the white read-only licence box, and the
// folder and group boxes, which show a coloured hint while they are empty.
#pragma once

#include "base/Str.h"
#include "ui/Controls.h"
#include "ui/GdiObjects.h"

class CSmallColorCtrlBase {
public:
    explicit CSmallColorCtrlBase(COLORREF colour) : m_brush(CreateSolidBrush(colour)) {}
    virtual ~CSmallColorCtrlBase() = default;

protected:
    CBrush m_brush;
};

// A read-only edit drawn on `colour` instead of the dialog's grey, without
// context menu.
class CSmallColorEdit : public CSimpleEdit, public CSmallColorCtrlBase {
public:
    explicit CSmallColorEdit(COLORREF colour) : CSmallColorCtrlBase(colour) {}

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

class CSmallSmartEdit : public CSimpleEdit, public CSmallColorCtrlBase {
public:
    CSmallSmartEdit(unsigned hintTextId, COLORREF hintColour);

    // Takes over the window and loads the hint text.
    bool AttachHint(HWND window);
    bool IsHintShown() const { return m_bHintShown; }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void UpdateHint();
    void PaintHint();

    TStrStatic<256> m_hint;
    unsigned m_nHintId;
    bool m_bHintShown = true;
    COLORREF m_hintColour;
    HFONT m_hHintFont = nullptr; // a stock font: borrowed
    COLORREF m_background;
    COLORREF m_textColour;
};
