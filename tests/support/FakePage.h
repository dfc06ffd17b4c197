// A stand-in for a progress page, so that a progress run works against real
// windows: a sheet with a Cancel button (id 2) and, inside it, a page with
// the progress page's controls (title, step list, status line, progress
// bar). The page hands its messages to the run and records every
// WM_SETUP_STEP and WM_SETUP_PROGRESS; the sheet records PSM_SETWIZBUTTONS.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CProgressRun;

struct PostedStep {
    WORD row;
    WORD state;
    LPARAM position;
    bool operator==(const PostedStep& other) const
    {
        return row == other.row && state == other.state && position == other.position;
    }
};

class CFakePage {
public:
    // Makes the windows and initialises `run` on them.
    explicit CFakePage(CProgressRun& run);
    ~CFakePage();
    CFakePage(const CFakePage&) = delete;
    CFakePage& operator=(const CFakePage&) = delete;

    HWND Sheet() const { return m_sheet; }
    HWND Page() const { return m_page; }

    std::wstring StatusText() const;
    std::vector<std::wstring> RowTexts() const;
    int BarPosition() const;
    bool CancelEnabled() const;
    // Dispatches messages until `done` holds (then a little longer, so that
    // what was posted before is in) or the time is up.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 90000);

    std::vector<PostedStep> steps;
    std::vector<WPARAM> progress;
    std::vector<LPARAM> buttons;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    CProgressRun& m_run;
    HWND m_sheet = nullptr;
    HWND m_page = nullptr;
};

// Answers the message boxes of this process from a thread of its own and
// keeps what they said.
class CDialogAnswerer {
public:
    struct SeenBox {
        std::wstring caption;
        std::wstring text;
    };
    // `button` is the command each box gets (IDOK, IDYES, IDNO, ...).
    explicit CDialogAnswerer(int button = IDOK);
    ~CDialogAnswerer();
    std::vector<SeenBox> Boxes() const;

private:
    static DWORD WINAPI Run(LPVOID self);
    int m_button;
    HANDLE m_thread = nullptr;
    volatile LONG m_stop = 0;
    mutable CRITICAL_SECTION m_lock;
    std::vector<SeenBox> m_seen;
};
