#include "WizardDriver.h"

#include <commctrl.h>
#include <prsht.h>

#include "PngWriter.h"

namespace {

const DWORD SEND_TIMEOUT_MS = 5000;

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
    return static_cast<LRESULT>(result);
}

struct FindSheet {
    DWORD process;
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK FindSheetWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<FindSheet*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t text[512];
    if (owner == search->process && IsWindowVisible(window) && GetWindowTextW(window, text, 512) &&
        *search->title == text) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::vector<std::wstring> FilesBelow(const std::wstring& folder)
{
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return files;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            std::vector<std::wstring> below = FilesBelow(folder + L"\\" + name);
            files.insert(files.end(), below.begin(), below.end());
        } else {
            files.push_back(folder + L"\\" + name);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return files;
}

CWizardDriver::CWizardDriver(const std::wstring& screenshotFolder) : m_folder(screenshotFolder)
{
    // Each level of the folder; the pictures of an earlier run go.
    for (size_t at = m_folder.find(L'\\', 3); ; at = m_folder.find(L'\\', at + 1)) {
        CreateDirectoryW(m_folder.substr(0, at).c_str(), nullptr);
        if (at == std::wstring::npos)
            break;
    }
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((m_folder + L"\\*.png").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do
            DeleteFileW((m_folder + L"\\" + found.cFileName).c_str());
        while (FindNextFileW(find, &found));
        FindClose(find);
    }
}

CWizardDriver::~CWizardDriver()
{
    Kill();
    if (m_process.hProcess)
        CloseHandle(m_process.hProcess);
    if (m_process.hThread)
        CloseHandle(m_process.hThread);
}

bool CWizardDriver::Start(const std::wstring& program, const std::wstring& arguments)
{
    // One driver may run several programs in turn; the screenshots go on numbering.
    Kill();
    if (m_process.hProcess)
        CloseHandle(m_process.hProcess);
    if (m_process.hThread)
        CloseHandle(m_process.hThread);
    m_process = {};
    m_sheet = nullptr;
    std::wstring line = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {sizeof(startup)};
    return CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &m_process) != FALSE;
}

HWND CWizardDriver::WaitForSheet(const std::wstring& title, DWORD timeoutMs)
{
    FindSheet search = {m_process.dwProcessId, &title, nullptr};
    WaitUntil([&] {
        search.found = nullptr;
        EnumWindows(FindSheetWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, timeoutMs, m_nPollMs);
    m_sheet = search.found;
    return m_sheet;
}

HWND CWizardDriver::CurrentPage() const
{
    return reinterpret_cast<HWND>(SendWithTimeout(m_sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

HWND CWizardDriver::WaitForPage(int controlId, DWORD timeoutMs)
{
    HWND page = nullptr;
    WaitUntil([&] {
        page = CurrentPage();
        return page && GetDlgItem(page, controlId) && IsWindowVisible(page);
    }, timeoutMs, m_nPollMs);
    // Let it finish drawing before anyone looks at it.
    if (m_nSettleMs)
        Sleep(m_nSettleMs);
    if (!page || !GetDlgItem(page, controlId))
        return nullptr;
    for (const auto& name : m_pageNames)
        if (name.first == controlId)
            Screenshot(m_sheet, name.second);
    return page;
}

bool CWizardDriver::IsButtonEnabled(int buttonId) const
{
    HWND button = GetDlgItem(m_sheet, buttonId);
    return button && IsWindowVisible(button) && IsWindowEnabled(button);
}

bool CWizardDriver::WaitForButton(int buttonId, bool enabled, DWORD timeoutMs) const
{
    return WaitUntil([&] { return IsButtonEnabled(buttonId) == enabled; }, timeoutMs, m_nPollMs);
}

void CWizardDriver::Press(int psbtn) const
{
    PostMessageW(m_sheet, PSM_PRESSBUTTON, psbtn, 0);
}

std::wstring CWizardDriver::Text(HWND window) const
{
    wchar_t text[8192] = L"";
    SendWithTimeout(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text));
    return text;
}

void CWizardDriver::SetItemText(HWND dialog, int id, const std::wstring& text) const
{
    SendWithTimeout(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void CWizardDriver::Click(HWND dialog, int id) const
{
    SendWithTimeout(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool CWizardDriver::IsChecked(HWND dialog, int id) const
{
    return SendWithTimeout(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool CWizardDriver::HasFocus(HWND window) const
{
    GUITHREADINFO info = {sizeof(info)};
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus == window;
}

int CWizardDriver::RowCount(HWND list) const
{
    return static_cast<int>(SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0));
}

int CWizardDriver::RowImage(HWND list, int row) const
{
    // The item structure must lie in the program's own memory, laid out as
    // that program lays it out: a 64-bit driver of the 32-bit edition (under
    // WoW64) writes the 32-bit structure, where iImage comes after 4-byte
    // pointers.
    struct LvItem32 {
        UINT mask;
        int iItem, iSubItem;
        UINT state, stateMask;
        UINT32 pszText;
        int cchTextMax, iImage;
    };
    BOOL targetIs32 = FALSE;
    if (sizeof(void*) == 8 && !IsWow64Process(m_process.hProcess, &targetIs32))
        return -2;
    union {
        LVITEMW native;
        LvItem32 narrow;
    } item = {};
    void* remote = VirtualAllocEx(m_process.hProcess, nullptr, sizeof(item), MEM_COMMIT, PAGE_READWRITE);
    if (!remote)
        return -2;
    if (targetIs32) {
        item.narrow.mask = LVIF_IMAGE;
        item.narrow.iItem = row;
    } else {
        item.native.mask = LVIF_IMAGE;
        item.native.iItem = row;
    }
    int image = -2;
    if (WriteProcessMemory(m_process.hProcess, remote, &item, sizeof(item), nullptr) &&
        SendWithTimeout(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote)) &&
        ReadProcessMemory(m_process.hProcess, remote, &item, sizeof(item), nullptr))
        image = targetIs32 ? item.narrow.iImage : item.native.iImage;
    VirtualFreeEx(m_process.hProcess, remote, 0, MEM_RELEASE);
    return image;
}

MessageBoxSeen CWizardDriver::WaitForMessageBox(DWORD timeoutMs) const
{
    MessageBoxSeen seen;
    WaitUntil([&] {
        for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box;
             box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            // A message box has no page inside it, unlike the sheet.
            if (owner != m_process.dwProcessId || !IsWindowVisible(box) || box == m_sheet ||
                GetDlgItem(box, ID_WIZNEXT))
                continue;
            seen.window = box;
            wchar_t caption[512];
            GetWindowTextW(box, caption, 512);
            seen.caption = caption;
            for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                wchar_t className[32];
                GetClassNameW(child, className, 32);
                std::wstring text = Text(child);
                if (_wcsicmp(className, L"Static") == 0 && text.size() > seen.text.size())
                    seen.text = text;
            }
            return true;
        }
        return false;
    }, timeoutMs);
    if (seen.window)
        Sleep(100);
    return seen;
}

void CWizardDriver::Answer(const MessageBoxSeen& box, int button) const
{
    HWND window = box.window;
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, 10000);
}

std::wstring CWizardDriver::Screenshot(HWND window, const std::wstring& name)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return L"";
    // A page may not have repainted since its last change (a box just
    // ticked): it paints now, and its thread has done so before the copy.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &answer);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::wstring path;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        GdiFlush();
        std::vector<uint8_t> pixels(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + width * height * 4);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        wchar_t number[8];
        swprintf(number, 8, L"%02d", ++m_nShot);
        path = m_folder + L"\\" + number + L"-" + name + L".png";
        if (WritePng(path, pixels, width, height))
            m_screenshots.push_back(path);
        else
            path.clear();
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return path;
}

bool CWizardDriver::WaitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!m_process.hProcess || WaitForSingleObject(m_process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(m_process.hProcess, exitCode);
    return true;
}

void CWizardDriver::Kill()
{
    if (m_process.hProcess && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 5000);
    }
}
