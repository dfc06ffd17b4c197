// A stand-in for a progress page, so that the workers run against real
// windows: a sheet with a Cancel button (id 2) and, inside it, a page with a
// step list (a list view with the step rows) and a status line. The page
// records every WM_SETUP_STEP, the sheet every PSM_SETWIZBUTTONS.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CStepWorker;

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
    CFakePage(const std::vector<std::wstring>& rows, CStepWorker* worker);
    ~CFakePage();
    CFakePage(const CFakePage&) = delete;
    CFakePage& operator=(const CFakePage&) = delete;

    HWND Sheet() const { return m_sheet; }
    HWND Page() const { return m_page; }
    HWND StepList() const { return m_list; }
    HWND Status() const { return m_status; }

    std::wstring StatusText() const;
    bool CancelEnabled() const;
    // Dispatches messages until `done` holds (then a little longer, so that
    // what was posted before is in) or the time is up.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 90000);

    std::vector<PostedStep> steps;
    std::vector<LPARAM> buttons;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    CStepWorker* m_worker;
    HWND m_sheet = nullptr;
    HWND m_page = nullptr;
    HWND m_list = nullptr;
    HWND m_status = nullptr;
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
