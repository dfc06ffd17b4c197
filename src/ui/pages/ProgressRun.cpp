#include "ui/pages/ProgressRun.h"

#include <objbase.h>
#include <prsht.h>

#include "base/MessagePump.h"
#include "res/ResourceIds.h"
#include "state/State.h"
#include "ui/WindowHelpers.h"

namespace {

const int STEP_IMAGE_WIDTH = 18;
const int STEP_IMAGE_HEIGHT = 20;
// The bar counts tenths of a per cent, so that a long step moves smoothly.
const WORD BAR_RANGE = 1000;

} // namespace

CProgressRun::CProgressRun(const unsigned* rowTextIds, unsigned rows, unsigned doneTextId)
    : m_pRowTextIds(rowTextIds), m_nRows(rows), m_nDoneTextId(doneTextId),
      m_titleFont(CreateFontW(15, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, nullptr))
{
}

void CProgressRun::Init(HWND page)
{
    m_hPage = page;
    m_status.Attach(GetDlgItem(page, IDC_STATUS));
    m_stepList.Attach(GetDlgItem(page, IDC_STEP_LIST));
    m_progress.Attach(GetDlgItem(page, IDC_PROGRESS_BAR));
    if (!m_stepImages.Get() && m_stepImages.AddBitmap(IDB_STEP_IMAGES, STEP_IMAGE_WIDTH, STEP_IMAGE_HEIGHT))
        m_stepList.SetImageList(m_stepImages.Get(), LVSIL_SMALL);
    m_progress.SetBarColor(PROGRESS_BAR_COLOR);
    m_progress.SetRange(0, BAR_RANGE);
    m_progress.SetPos(0);
    SendDlgItemMessageW(page, IDC_PROGRESS_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont.Get()), TRUE);
    for (unsigned row = 0; row < m_nRows; ++row) {
        wchar_t text[MAX_PATH];
        Texts.LoadText(m_pRowTextIds[row], text, MAX_PATH);
        m_stepList.InsertRow(static_cast<int>(row), text);
    }
}

LRESULT CProgressRun::StartWorker()
{
    if (!m_hThread) {
        // Suspended until its handle is stored: the run's end finds it there.
        HANDLE thread = CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, nullptr);
        if (thread) {
            m_hThread.Attach(thread);
            ResumeThread(thread);
        }
    }
    SetButtons();
    return 0;
}

DWORD WINAPI CProgressRun::ThreadProc(LPVOID run)
{
    auto* self = static_cast<CProgressRun*>(run);
    // The shell links need COM on this thread.
    HRESULT com = CoInitialize(nullptr);
    self->RunEngine();
    self->m_bEnded = true;
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

void CProgressRun::StopWorker()
{
    if (!m_hThread)
        return;
    m_bCancel = true;
    CancelEngine();
    WaitWithMessagePump(m_hThread.Get());
    m_hThread.Close();
}

void CProgressRun::SetButtons() const
{
    // Cancel goes before Finish is offered: the buttons are posted, the
    // disabling is not, so the other order left a moment with both enabled.
    if (m_bFinished || !MayCancelWhileRunning())
        DisableCancel();
    PostMessageW(GetParent(m_hPage), PSM_SETWIZBUTTONS, 0, m_bFinished ? PSWIZB_FINISH : 0);
}

void CProgressRun::DisableCancel() const
{
    EnableWindow(GetDlgItem(GetParent(m_hPage), IDCANCEL), FALSE);
}

void CProgressRun::PostStep(unsigned row, WORD state, LPARAM position) const
{
    PostMessageW(m_hPage, WM_SETUP_STEP, MAKEWPARAM(row, state), position);
}

void CProgressRun::StepStarted(unsigned row)
{
    m_nProgress = row * BAR_RANGE / m_nRows;
    PostStep(row, StepRunning, static_cast<LPARAM>(row * 100 / m_nRows));
}

void CProgressRun::StepDone(unsigned row)
{
    PostStep(row, ::StepDone, static_cast<LPARAM>((row + 1) * 100 / m_nRows));
}

void CProgressRun::StepFailed(unsigned row)
{
    PostStep(row, ::StepFailed, 100);
}

void CProgressRun::StepProgress(unsigned row, uint64_t done, uint64_t total)
{
    if (total == 0 || done > total)
        return;
    unsigned position = static_cast<unsigned>((row * static_cast<uint64_t>(BAR_RANGE) + done * BAR_RANGE / total) /
                                              m_nRows);
    // Only a change the bar can show.
    if (position <= m_nProgress)
        return;
    m_nProgress = position;
    PostMessageW(m_hPage, WM_SETUP_PROGRESS, position, 0);
}

void CProgressRun::Error(DWORD code)
{
    SendMessageW(m_hPage, WM_SETUP_ERROR, code, 0);
}

void CProgressRun::Warning(unsigned textId)
{
    SendMessageW(m_hPage, WM_SETUP_WARNING, textId, 0);
}

void CProgressRun::Finished(bool succeeded)
{
    PostMessageW(m_hPage, WM_SETUP_FINISHED, succeeded, 0);
}

bool CProgressRun::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_SETUP_STEP: {
        WORD state = HIWORD(wParam);
        m_stepList.SetRowImage(LOWORD(wParam), state);
        if (state == ::StepFailed)
            m_bFailed = true;
        m_progress.SetPos(static_cast<int>(lParam) * (BAR_RANGE / 100));
        result = 1;
        return true;
    }
    case WM_SETUP_PROGRESS:
        m_progress.SetPos(static_cast<int>(wParam));
        result = 1;
        return true;
    case WM_SETUP_ERROR:
        ShowSystemError(static_cast<DWORD>(wParam));
        result = 1;
        return true;
    case WM_SETUP_WARNING: {
        TStrStatic<MAX_PATH> text;
        Texts.LoadText(static_cast<unsigned>(wParam), text.GetBuffer(), text.GetCapacity());
        text.UpdateLength();
        MessageBoxW(m_hPage, text, ProgramName, MB_OK | MB_ICONWARNING);
        result = 1;
        return true;
    }
    case WM_SETUP_FINISHED:
        OnFinished(wParam != 0);
        result = 1;
        return true;
    default:
        return false;
    }
}

void CProgressRun::OnFinished(bool succeeded)
{
    if (succeeded) {
        wchar_t text[256];
        Texts.LoadText(m_nDoneTextId, text, 256);
        SetWindowTextW(m_status.GetHwnd(), text);
    }
    m_bFinished = true;
    SetButtons();
}
