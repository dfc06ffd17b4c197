#include "support/FakePage.h"

#include <commctrl.h>
#include <prsht.h>

#include "install/StepWorker.h"

namespace {

const wchar_t SHEET_CLASS[] = L"KxTestSheet";
const wchar_t PAGE_CLASS[] = L"KxTestPage";

void RegisterClasses(WNDPROC proc)
{
    static bool registered = false;
    if (registered)
        return;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
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

} // namespace

CFakePage::CFakePage(const std::vector<std::wstring>& rows, CStepWorker* worker) : m_worker(worker)
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
    m_list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_LIST, 10, 10, 400, 200, m_page,
                             reinterpret_cast<HMENU>(261), instance, nullptr);
    m_status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 220, 400, 20, m_page,
                               reinterpret_cast<HMENU>(259), instance, nullptr);
    for (size_t i = 0; i < rows.size(); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(rows[i].c_str());
        item.iImage = -1;
        SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    if (m_worker)
        m_worker->AttachWindows(m_page, m_list, m_status);
}

CFakePage::~CFakePage()
{
    DestroyWindow(m_sheet);
}

LRESULT CALLBACK CFakePage::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CFakePage*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && window == self->m_page && message == WM_SETUP_STEP) {
        PostedStep step = {LOWORD(wParam), HIWORD(wParam), lParam};
        self->steps.push_back(step);
        if (self->m_worker)
            self->m_worker->NoteStepState(step.state);
        return 1;
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
    GetWindowTextW(m_status, text, 512);
    return text;
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
