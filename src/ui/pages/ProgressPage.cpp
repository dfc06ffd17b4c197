#include "ui/pages/ProgressPage.h"

#include "app/Globals.h"
#include "res/ResourceIds.h"

namespace {

const int STEP_IMAGE_WIDTH = 18;
const int STEP_IMAGE_HEIGHT = 20;

} // namespace

CProgressPageParts::CProgressPageParts()
    : m_titleFont(CreateFontW(15, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, nullptr))
{
}

void CProgressPageParts::Init(HWND page, const unsigned* rowTextIds, unsigned rows, CStepWorker& worker)
{
    m_status.Attach(GetDlgItem(page, IDC_STATUS));
    m_stepList.Attach(GetDlgItem(page, IDC_STEP_LIST));
    m_progress.Attach(GetDlgItem(page, IDC_PROGRESS_BAR));
    if (!m_stepImages.Get() && m_stepImages.AddBitmap(IDB_STEP_IMAGES, STEP_IMAGE_WIDTH, STEP_IMAGE_HEIGHT))
        m_stepList.SetImageList(m_stepImages.Get(), LVSIL_SMALL);
    m_progress.SetBarColor(PROGRESS_BAR_COLOR);
    m_progress.SetRange(0, 100);
    m_progress.SetPos(0);
    SendDlgItemMessageW(page, IDC_PROGRESS_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont.Get()), TRUE);
    for (unsigned row = 0; row < rows; ++row) {
        wchar_t text[MAX_PATH];
        Texts.LoadText(rowTextIds[row], text, MAX_PATH);
        m_stepList.InsertRow(static_cast<int>(row), text);
    }
    worker.AttachWindows(page, m_stepList.GetHwnd(), m_status.GetHwnd());
}

LRESULT CProgressPageParts::OnSetupStep(WPARAM wParam, LPARAM lParam, CStepWorker& worker)
{
    WORD state = HIWORD(wParam);
    m_stepList.SetRowImage(LOWORD(wParam), state);
    worker.NoteStepState(state);
    m_progress.SetPos(static_cast<int>(lParam));
    return 1;
}
