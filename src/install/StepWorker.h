// What the installation and the uninstallation workers share: the thread,
// the flags that page and worker exchange, and the reports to the page.
//
// The worker runs on a thread of its own and reports to its progress page
// only by posting WM_SETUP_STEP (row, state, position) to the page and
// PSM_SETWIZBUTTONS to the sheet, by setting the status line's text and by
// disabling the sheet's Cancel button. The flags have one writer each.
#pragma once

#include <windows.h>

#include <atomic>

#include "base/Handle.h"

// wParam = MAKEWPARAM(row, state), lParam = progress position 0..100.
const UINT WM_SETUP_STEP = WM_USER + 3;

// The state is also the index of the row's image.
enum : WORD {
    StepRunning = 0,
    StepDone = 1,
    StepFailed = 2,
};

class CStepWorker {
public:
    CStepWorker() = default;
    virtual ~CStepWorker();
    CStepWorker(const CStepWorker&) = delete;
    CStepWorker& operator=(const CStepWorker&) = delete;

    // The page's windows: the page (gets the step messages; its parent is
    // the sheet), its step list and its status line.
    void AttachWindows(HWND page, HWND stepList, HWND status);

    // Sets the stop request, waits for the worker (dispatching messages) and
    // forgets its thread. Nothing when no worker exists.
    void StopWorker();

    bool IsFinished() const { return m_bFinished; }
    bool IsFailed() const { return m_bFailed; }
    bool HasWorker() const { return static_cast<bool>(m_hThread); }

    // The page's answer to WM_SETUP_STEP marks a failed run.
    void NoteStepState(WORD state)
    {
        if (state == StepFailed)
            m_bFailed = true;
    }

protected:
    // Starts the thread once, suspended until its handle is stored, so that
    // the call at its end can never start a second one.
    bool StartThread(LPTHREAD_START_ROUTINE proc);
    // What a worker thread does: COM for the shell links, the steps, then
    // `finished` and the buttons again.
    void RunThreadBody();
    virtual void RunSteps() = 0;
    virtual LRESULT RefreshWorker() = 0;
    // (n x 100) / rows of the step list.
    LPARAM Position(unsigned n) const;
    void PostStep(WORD row, WORD state, LPARAM position) const;
    // No buttons while running; Finish when done.
    void SetWizardButtons() const;
    void DisableCancel() const;
    void ShowStatusText(unsigned textId) const;

    HWND m_hPage = nullptr;
    HWND m_hStepList = nullptr;
    HWND m_hStatus = nullptr;

    CHandle m_hThread;
    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bFinished{false};
    std::atomic<bool> m_bFailed{false};
};
