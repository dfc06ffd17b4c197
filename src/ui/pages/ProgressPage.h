// What the two progress pages share: the step list with its images, the
// progress bar, the bold title and the status line, and the answer to the
// worker's step messages.
#pragma once

#include "install/StepWorker.h"
#include "ui/AlphaList.h"
#include "ui/Controls.h"
#include "ui/GdiObjects.h"
#include "ui/PropertyPage.h"

class CProgressPageParts {
public:
    CProgressPageParts();

    // Attaches the controls, fills the step list with the rows (string ids)
    // and hands the windows to the worker.
    void Init(HWND page, const unsigned* rowTextIds, unsigned rows, CStepWorker& worker);
    // WM_SETUP_STEP: the row's image, the failed flag, the bar.
    LRESULT OnSetupStep(WPARAM wParam, LPARAM lParam, CStepWorker& worker);

private:
    CAlphaList m_stepImages;
    CSimpleListViewCtrl m_stepList;
    CSimpleProgressBarCtrl m_progress;
    CSimpleStatic m_status;
    CFont m_titleFont;
};

// The bar's colour: green (red 134, green 192, blue 128).
const COLORREF PROGRESS_BAR_COLOR = 0x0080C086;
