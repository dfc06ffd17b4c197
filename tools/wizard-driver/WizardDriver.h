// Drives a running setup wizard from outside, as a user would, through
// window messages: finds the sheet by its title, presses its buttons, ticks
// boxes, types into boxes, answers message boxes, reads texts, step images
// and the exit code, and saves a PNG of each page it passes. Every wait has
// a time limit.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Controls of the platform's wizard frame.
const int ID_WIZBACK = 0x3023;
const int ID_WIZNEXT = 0x3024;
const int ID_WIZFINISH = 0x3025;

// The files below a folder, sub-folders included.
std::vector<std::wstring> FilesBelow(const std::wstring& folder);

struct MessageBoxSeen {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};

class CWizardDriver {
public:
    // Screenshots go to `screenshotFolder` (created), named in order.
    explicit CWizardDriver(const std::wstring& screenshotFolder);
    ~CWizardDriver();
    CWizardDriver(const CWizardDriver&) = delete;
    CWizardDriver& operator=(const CWizardDriver&) = delete;

    // Starts the program (ending one that this driver started before).
    bool Start(const std::wstring& program, const std::wstring& arguments = L"");
    // The sheet with this caption; null when it does not appear in time.
    HWND WaitForSheet(const std::wstring& title, DWORD timeoutMs = 20000);
    HWND Sheet() const { return m_sheet; }
    DWORD ProcessId() const { return m_process.dwProcessId; }
    // The running program's process, for its figures (memory); owned here.
    HANDLE Process() const { return m_process.hProcess; }

    // The current page once it is the one holding control `controlId`. With
    // page names set, each page reached is also saved as a screenshot.
    HWND WaitForPage(int controlId, DWORD timeoutMs = 20000);
    void SetPageNames(const std::vector<std::pair<int, std::wstring>>& names) { m_pageNames = names; }
    // How long a page is given to finish drawing once reached (150 ms; 0
    // when only time matters).
    void SetSettleTime(DWORD ms) { m_nSettleMs = ms; }
    // How often the waits for a sheet, a page or a button look (1 ms). Each
    // look asks the program's windows: a benchmark looks less often, so as
    // not to slow down what it measures.
    void SetPollInterval(DWORD ms) { m_nPollMs = ms ? ms : 1; }
    HWND CurrentPage() const;
    bool WaitForButton(int buttonId, bool enabled, DWORD timeoutMs = 20000) const;
    bool IsButtonEnabled(int buttonId) const;
    void Press(int psbtn) const; // PSBTN_NEXT, PSBTN_BACK, PSBTN_FINISH, PSBTN_CANCEL

    std::wstring Text(HWND window) const;
    std::wstring ItemText(HWND dialog, int id) const { return Text(GetDlgItem(dialog, id)); }
    void SetItemText(HWND dialog, int id, const std::wstring& text) const;
    void Click(HWND dialog, int id) const;
    bool IsChecked(HWND dialog, int id) const;
    bool HasFocus(HWND window) const;
    // The image index of a list view row (-1 without image).
    int RowImage(HWND list, int row) const;
    int RowCount(HWND list) const;

    // The next message box of the program; window null when none in time.
    MessageBoxSeen WaitForMessageBox(DWORD timeoutMs = 20000) const;
    void Answer(const MessageBoxSeen& box, int button) const;

    // A PNG of the window; returns its path ("" on failure).
    std::wstring Screenshot(HWND window, const std::wstring& name);
    const std::vector<std::wstring>& Screenshots() const { return m_screenshots; }

    // The program's exit code; false when it does not end in time.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    // Ends the program if it still runs.
    void Kill();

    // Waits until `done` holds, polling every millisecond: the benchmarks
    // time the program through these waits.
    template <typename Done>
    static bool WaitUntil(Done done, DWORD timeoutMs, DWORD pollMs = 1)
    {
        DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > timeoutMs)
                return false;
            Sleep(pollMs);
        }
        return true;
    }

private:
    std::wstring m_folder;
    PROCESS_INFORMATION m_process = {};
    HWND m_sheet = nullptr;
    int m_nShot = 0;
    std::vector<std::wstring> m_screenshots;
    std::vector<std::pair<int, std::wstring>> m_pageNames;
    DWORD m_nSettleMs = 150;
    DWORD m_nPollMs = 1;
};
