// What the two progress pages do with their engine: run it on a thread of
// their own, turn its reports into the page's step images, progress bar,
// status line, message boxes and wizard buttons, all on the UI thread, and
// stop it. The page hands over its window, its notifications and its
// messages; tests host a run in plain windows with the same controls.
//
// A report arrives on the worker thread and goes on as a message to the
// page: steps, progress and the end are posted; an error or a warning is
// sent, so that the engine goes on only after the user has seen it.
#pragma once

#include <windows.h>

#include <atomic>

#include "base/Handle.h"
#include "install/RunReport.h"
#include "ui/AlphaList.h"
#include "ui/Controls.h"
#include "ui/GdiObjects.h"

// wParam = MAKEWPARAM(row, state), lParam = the bar's position, 0..100.
const UINT WM_SETUP_STEP = WM_USER + 3;
// wParam = the bar's position in tenths of a per cent, 0..1000.
const UINT WM_SETUP_PROGRESS = WM_USER + 4;
// wParam = a system error code; sent.
const UINT WM_SETUP_ERROR = WM_USER + 5;
// wParam = the id of a warning text; sent.
const UINT WM_SETUP_WARNING = WM_USER + 6;
// wParam = whether the run succeeded.
const UINT WM_SETUP_FINISHED = WM_USER + 7;

// The bar's colour: green (red 134, green 192, blue 128).
const COLORREF PROGRESS_BAR_COLOR = 0x0080C086;

class CProgressRun : protected CRunReport {
public:
    // `rowTextIds`: the texts of the step rows, in order; `doneTextId`: the
    // status line after a successful run.
    CProgressRun(const unsigned* rowTextIds, unsigned rows, unsigned doneTextId);
    // A class that derives stops the worker in its own destructor, while
    // the engine and CancelEngine are still there.
    ~CProgressRun() override = default;
    CProgressRun(const CProgressRun&) = delete;
    CProgressRun& operator=(const CProgressRun&) = delete;

    // WM_INITDIALOG: attaches the page's controls and fills the step rows.
    void Init(HWND page);
    // PSN_SETACTIVE, and again whenever the buttons are to be set: starts
    // the worker once and sets the wizard buttons.
    LRESULT StartWorker();
    // Sets the stop request, waits for the worker (dispatching messages) and
    // forgets its thread. Nothing when no worker exists.
    void StopWorker();
    // The page's messages from the reports; true when `message` was one.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // The end of the run has been shown: Finish is offered.
    bool IsFinished() const { return m_bFinished; }
    // A step failed or the user confirmed a cancel.
    bool IsFailed() const { return m_bFailed; }
    bool HasWorker() const { return static_cast<bool>(m_hThread); }

protected:
    // On the worker thread: the engine's whole run.
    virtual void RunEngine() = 0;
    // Passes a stop request on to the engine.
    virtual void CancelEngine() = 0;
    // Whether the sheet's Cancel stays enabled while the worker runs.
    virtual bool MayCancelWhileRunning() const = 0;

    // CRunReport, on the worker thread.
    void StepStarted(unsigned row) override;
    void StepDone(unsigned row) override;
    void StepFailed(unsigned row) override;
    void StepProgress(unsigned row, uint64_t done, uint64_t total) override;
    void Error(DWORD code) override;
    void Warning(unsigned textId) override;
    void Finished(bool succeeded) override;

    HWND m_hPage = nullptr;
    // Written and read on the UI thread only.
    bool m_bCancel = false;
    bool m_bFinished = false;
    bool m_bFailed = false;
    // Set by the worker thread once the engine's run has returned.
    std::atomic<bool> m_bEnded{false};

private:
    static DWORD WINAPI ThreadProc(LPVOID run);
    void PostStep(unsigned row, WORD state, LPARAM position) const;
    void OnFinished(bool succeeded);
    void SetButtons() const;
    void DisableCancel() const;

    const unsigned* m_pRowTextIds;
    unsigned m_nRows;
    unsigned m_nDoneTextId;
    CHandle m_hThread;
    // The last position posted within a step, in tenths of a per cent.
    std::atomic<unsigned> m_nProgress{0};

    CAlphaList m_stepImages;
    CSimpleListViewCtrl m_stepList;
    CSimpleProgressBarCtrl m_progress;
    CSimpleStatic m_status;
    CFont m_titleFont;
};
