// The sample product's "terminal": a stand-in for the real trading program.
// Started with /install or /uninstall (as the setup program does) it appends
// its command line to a log and exits at once; otherwise it shows a window.
// The log is the file named by KXTERMINAL_LOG, else %TEMP%\kxterminal.log.
#include <windows.h>

#include <cwchar>

namespace {

bool HasSwitch(const wchar_t* commandLine, const wchar_t* name)
{
    const wchar_t* found = wcsstr(commandLine, name);
    return found && (found[wcslen(name)] == 0 || found[wcslen(name)] == L' ');
}

void RecordCommandLine(const wchar_t* commandLine)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"KXTERMINAL_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        length = GetTempPathW(MAX_PATH, path);
        if (length == 0 || length + 16 >= MAX_PATH)
            return;
        wcscat(path, L"kxterminal.log");
    }
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char line[1024];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, line, sizeof(line) - 2, nullptr, nullptr);
    if (bytes > 0) {
        line[bytes - 1] = '\r';
        line[bytes] = '\n';
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(bytes + 1), &written, nullptr);
    }
    CloseHandle(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        DrawTextW(dc, L"Kestrel Trader\n\nThe sample product of kxsetup.", -1, &area,
                  DT_CENTER | DT_VCENTER | DT_WORDBREAK);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int show)
{
    if (HasSwitch(commandLine, L"/install") || HasSwitch(commandLine, L"/uninstall")) {
        RecordCommandLine(commandLine);
        return 0;
    }
    RecordCommandLine(commandLine);

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"KestrelTerminal";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"KestrelTerminal", L"Kestrel Trader", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr, nullptr, instance,
                                nullptr);
    if (!window)
        return 1;
    ShowWindow(window, show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
