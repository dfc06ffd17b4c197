#include "support/FakePage.h"

#include <commctrl.h>
#include <prsht.h>

#include "res/ResourceIds.h"
#include "ui/pages/ProgressRun.h"

namespace {

const wchar_t SHEET_CLASS[] = L"KxTestSheet";
const wchar_t PAGE_CLASS[] = L"KxTestPage";

void RegisterClasses(WNDPROC proc)
{
    static bool registered = false;
    if (registered)
        return;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = SHEET_CLASS;
    RegisterClassW(&windowClass);
    windowClass.lpszClassName = PAGE_CLASS;
    RegisterClassW(&windowClass);
    registered = true;
}

HWND Child(const wchar_t* windowClass, DWORD style, int y, int height, HWND parent, int id)
{
    return CreateWindowExW(0, windowClass, L"", WS_CHILD | WS_VISIBLE | style, 10, y, 400, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

} // namespace

CFakePage::CFakePage(CProgressRun& run) : m_run(run)
{
    RegisterClasses(WindowProc);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_sheet = CreateWindowExW(0, SHEET_CLASS, L"Test Sheet", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr,
                              nullptr, instance, nullptr);
    SetWindowLongPtrW(m_sheet, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE, 400, 340, 80, 24, m_sheet,
                    reinterpret_cast<HMENU>(IDCANCEL), instance, nullptr);
    m_page = CreateWindowExW(0, PAGE_CLASS, L"", WS_CHILD | WS_VISIBLE, 0, 0, 480, 320, m_sheet, nullptr,
                             instance, nullptr);
    SetWindowLongPtrW(m_page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Child(L"STATIC", 0, 0, 20, m_page, IDC_PROGRESS_TITLE);
    Child(WC_LISTVIEWW, LVS_LIST, 30, 180, m_page, IDC_STEP_LIST);
    Child(L"STATIC", 0, 220, 20, m_page, IDC_STATUS);
    Child(PROGRESS_CLASSW, 0, 250, 16, m_page, IDC_PROGRESS_BAR);
    m_run.Init(m_page);
}

CFakePage::~CFakePage()
{
    DestroyWindow(m_sheet);
}

LRESULT CALLBACK CFakePage::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CFakePage*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && window == self->m_page) {
        if (message == WM_SETUP_STEP)
            self->steps.push_back({LOWORD(wParam), HIWORD(wParam), lParam});
        else if (message == WM_SETUP_PROGRESS)
            self->progress.push_back(wParam);
        LRESULT result = 0;
        if (self->m_run.OnMessage(message, wParam, lParam, result))
            return result;
    }
    if (self && window == self->m_sheet && message == PSM_SETWIZBUTTONS) {
        self->buttons.push_back(lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring CFakePage::StatusText() const
{
    wchar_t text[512];
    GetDlgItemTextW(m_page, IDC_STATUS, text, 512);
    return text;
}

std::vector<std::wstring> CFakePage::RowTexts() const
{
    HWND list = GetDlgItem(m_page, IDC_STEP_LIST);
    std::vector<std::wstring> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[260] = L"";
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        rows.push_back(text);
    }
    return rows;
}

int CFakePage::BarPosition() const
{
    return static_cast<int>(SendDlgItemMessageW(m_page, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
}

bool CFakePage::CancelEnabled() const
{
    return IsWindowEnabled(GetDlgItem(m_sheet, IDCANCEL)) != FALSE;
}

bool CFakePage::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    DWORD doneAt = 0;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        DWORD now = GetTickCount();
        if (!doneAt && done())
            doneAt = now;
        if (doneAt && now - doneAt > 100)
            return true;
        if (now - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

CDialogAnswerer::CDialogAnswerer(int button) : m_button(button)
{
    InitializeCriticalSection(&m_lock);
    m_thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

CDialogAnswerer::~CDialogAnswerer()
{
    InterlockedExchange(&m_stop, 1);
    WaitForSingleObject(m_thread, 5000);
    CloseHandle(m_thread);
    DeleteCriticalSection(&m_lock);
}

std::vector<CDialogAnswerer::SeenBox> CDialogAnswerer::Boxes() const
{
    EnterCriticalSection(&m_lock);
    std::vector<SeenBox> seen = m_seen;
    LeaveCriticalSection(&m_lock);
    return seen;
}

DWORD WINAPI CDialogAnswerer::Run(LPVOID parameter)
{
    auto* self = static_cast<CDialogAnswerer*>(parameter);
    DWORD process = GetCurrentProcessId();
    while (!self->m_stop) {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            // Dialogs of this process, but not a wizard sheet (which has a Next button).
            if (owner != process || !IsWindowVisible(box) || GetDlgItem(box, 0x3024))
                continue;
            wchar_t caption[256], text[1024] = L"";
            GetWindowTextW(box, caption, 256);
            // The message is the longest static text of the box.
            for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                wchar_t className[32], childText[1024];
                GetClassNameW(child, className, 32);
                if (_wcsicmp(className, L"Static") == 0 && GetWindowTextW(child, childText, 1024) > 0 &&
                    wcslen(childText) > wcslen(text))
                    wcscpy(text, childText);
            }
            EnterCriticalSection(&self->m_lock);
            self->m_seen.push_back({caption, text});
            LeaveCriticalSection(&self->m_lock);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(self->m_button, BN_CLICKED), 0);
            Sleep(50); // let it close before looking again
        }
        Sleep(20);
    }
    return 0;
}
