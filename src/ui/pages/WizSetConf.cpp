#include "ui/pages/WizSetConf.h"

#include <shlobj.h>

#include <cwchar>

#include "state/State.h"
#include "archive/Extract.h"
#include "base/ComPtr.h"
#include "base/FileSystem.h"
#include "base/SystemLibrary.h"
#include "base/WritableFolder.h"
#include "res/ResourceIds.h"
#include "res/TextIds.h"
#include "ui/ConfirmCancel.h"
#include "ui/WindowHelpers.h"

namespace {

const COLORREF HINT_COLOR = 0x00282DD7;
const unsigned BOX_TEXT_CHARS = 1040;
const UINT BROWSE_FLAGS = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_STATUSTEXT | BIF_NEWDIALOGSTYLE |
                          BIF_SHAREABLE;

bool IsInvalidCharacter(wchar_t ch)
{
    return ch == L'*' || ch == L'?' || ch == L'<' || ch == L'>' || ch == L'|';
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data)
{
    if (message == BFFM_INITIALIZED && data) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH] = L"";
        SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(lParam), path);
        SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
    }
    return 0;
}

// A message box whose text is a loaded format filled with one value.
void ShowFormattedBox(HWND owner, unsigned textId, const wchar_t* value, int number = 0)
{
    wchar_t format[512];
    Texts.LoadText(textId, format, 512);
    TStrStatic<BOX_TEXT_CHARS> text;
    text.Format(format, value, number);
    MessageBoxW(owner, text, ProgramName, MB_ICONWARNING);
}

} // namespace

CWizSetConf::CWizSetConf(const wchar_t* title, TInstallSettings* settings)
    : CPropertyPage(IDD_SETTINGS, title), m_pSettings(settings), m_folder(IDS_FOLDER_HINT, HINT_COLOR),
      m_group(IDS_STEP_CREATE_GROUP, HINT_COLOR)
{
}

BOOL CWizSetConf::OnInitDialog()
{
    m_folder.AttachHint(GetItem(IDC_FOLDER));
    m_group.AttachHint(GetItem(IDC_GROUP));
    m_launch.Attach(GetItem(IDC_LAUNCH));
    m_shortcut.Attach(GetItem(IDC_DESKTOP_SHORTCUT));
    m_intro.Attach(GetItem(IDC_SETTINGS_INTRO));
    FormatControlText(m_intro.GetHwnd(), ProgramName, MAX_PATH);
    FormatControlText(m_launch.GetHwnd(), L"program", MAX_PATH);
    m_launch.SetCheck(m_pSettings->launchAfterInstall);
    m_shortcut.SetCheck(m_pSettings->createDesktopShortcut);

    TStrStatic<MAX_PATH> programFiles;
    LPITEMIDLIST list = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAM_FILES, &list))) {
        SHGetPathFromIDListW(list, programFiles.GetBuffer());
        programFiles.UpdateLength();
        CoTaskMemFree(list);
    }
    TStrStatic<MAX_PATH> folder;
    folder.Format(L"%s\\%s", programFiles.GetString(), ProgramName.GetString());
    SetWindowTextW(m_folder.GetHwnd(), folder);
    SetWindowTextW(m_group.GetHwnd(), ProgramName);
    Texts.LocalizeDialog(m_hWnd, IDD_SETTINGS);
    return TRUE;
}

LRESULT CWizSetConf::OnSetActive()
{
    SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    return 0;
}

LRESULT CWizSetConf::OnWizardBack()
{
    return IDD_LICENSE;
}

LRESULT CWizSetConf::OnQueryCancel()
{
    return ConfirmCancel();
}

bool CWizSetConf::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_BROWSE && HIWORD(wParam) == BN_CLICKED) {
        Browse();
        result = 0;
        return true;
    }
    return false;
}

CWizSetConf::PathText CWizSetConf::CleanPathText(const wchar_t* text, CStr& cleaned)
{
    cleaned.Assign(L"");
    if (!text)
        return PathText::Unusable;
    // PathCanonicalizeW takes at most MAX_PATH - 1 characters and the box can
    // hold more: a longer text is invalid before it gets there.
    if (wcslen(text) >= MAX_PATH)
        return PathText::Invalid;
    wchar_t canonical[MAX_PATH];
    // shlwapi is not imported (see GetSystemFunction).
    auto canonicalize = SystemFunction<BOOL(WINAPI*)(wchar_t*, const wchar_t*)>(L"shlwapi.dll", "PathCanonicalizeW");
    if (!canonicalize || !canonicalize(canonical, text))
        return PathText::Unusable;
    const wchar_t* start = canonical;
    while (*start == L' ')
        ++start;
    TStrStatic<MAX_PATH> result(start);
    while (!result.IsEmpty() && result.GetAt(result.GetLength() - 1) == L' ')
        result.Truncate(result.GetLength() - 1);
    for (unsigned i = 0; i < result.GetLength(); ++i)
        if (IsInvalidCharacter(result.GetAt(i)))
            return PathText::Invalid;
    result.Replace(L'/', L'\\');
    while (!result.IsEmpty() && result.GetAt(result.GetLength() - 1) == L'\\')
        result.Truncate(result.GetLength() - 1);
    if (result.IsEmpty())
        return PathText::Invalid;
    // At most 258 characters and the terminator.
    result.Truncate(258);
    cleaned.Assign(result);
    return PathText::Valid;
}

bool CWizSetConf::IsGroupNameInside(const wchar_t* group)
{
    return IsRelativeInside(group);
}

bool CWizSetConf::ValidatePathText(const wchar_t* text, CStr& cleaned) const
{
    PathText result = CleanPathText(text, cleaned);
    if (result == PathText::Invalid)
        ShowTextBox(m_hWnd, IDS_INVALID_PATH, MB_ICONWARNING);
    return result == PathText::Valid;
}

uint64_t CWizSetConf::RequiredFreeMegabytes(uint64_t installedBytes)
{
    const uint64_t megabyte = 1024 * 1024;
    uint64_t needed = installedBytes / megabyte + (installedBytes % megabyte ? 1 : 0);
    return needed > REQUIRED_FREE_MB ? needed : REQUIRED_FREE_MB;
}

bool CWizSetConf::CheckFreeSpace(const wchar_t* folder) const
{
    TStrStatic<259> drive(folder);
    int colon = drive.Find(L':');
    if (colon <= 0)
        return true; // paths without a drive letter are not checked
    drive.Truncate(static_cast<unsigned>(colon + 1));
    ULARGE_INTEGER available, total, free;
    if (!GetDiskFreeSpaceExW(drive, &available, &total, &free)) {
        ShowFormattedBox(m_hWnd, IDS_INVALID_DISK, drive);
        return false;
    }
    // The installed files only: the program archives are read from the
    // installer where it lies, never copied. A directory that does not read
    // asks for the least; the extraction then says what is wrong.
    uint64_t installed = 0;
    if (!GetInstalledBytes(Package, &installed))
        installed = 0;
    uint64_t required = RequiredFreeMegabytes(installed);
    if (free.QuadPart < required * 1024 * 1024) {
        ShowFormattedBox(m_hWnd, IDS_NO_DISK_SPACE, drive, static_cast<int>(required > 0x7FFFFFFF ? 0x7FFFFFFF : required));
        return false;
    }
    return true;
}

LRESULT CWizSetConf::OnWizardNext()
{
    TStrStatic<BOX_TEXT_CHARS> text;
    TStrStatic<MAX_PATH> group, folder;
    GetText(m_group.GetHwnd(), text);
    if (!ValidatePathText(text, group)) {
        SetFocus(m_group.GetHwnd());
        return -1;
    }
    // A group that would leave the Programs folder is refused here already.
    if (!IsGroupNameInside(group)) {
        ShowTextBox(m_hWnd, IDS_INVALID_PATH, MB_ICONWARNING);
        SetFocus(m_group.GetHwnd());
        return -1;
    }
    SetWindowTextW(m_group.GetHwnd(), group);

    GetText(m_folder.GetHwnd(), text);
    if (!ValidatePathText(text, folder)) {
        SetFocus(m_folder.GetHwnd());
        return -1;
    }
    SetWindowTextW(m_folder.GetHwnd(), folder);
    if (!CheckFreeSpace(folder))
        return -1;
    // Files there could be swapped before the program runs them with
    // administrator rights: the user decides, knowing it. That holds for a
    // folder others may change, and for a path whose folders others may
    // rename and put their own in place of. Missing folders are made so
    // that only administrators may change them.
    bool exists = GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES;
    TStrStatic<MAX_PATH> movable;
    if ((exists && IsFolderChangeableByNonAdmins(folder)) || IsPathMovableByNonAdmins(folder, &movable)) {
        wchar_t warning[512];
        Texts.LoadText(IDS_FOLDER_CHANGEABLE, warning, 512);
        TStrStatic<BOX_TEXT_CHARS> text;
        text.Format(warning, movable.IsEmpty() ? folder.GetString() : movable.GetString());
        if (MessageBoxW(m_hWnd, text, ProgramName, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
            return -1;
    }
    if (exists) {
        wchar_t format[512];
        Texts.LoadText(IDS_FOLDER_EXISTS, format, 512);
        TStrStatic<BOX_TEXT_CHARS> question;
        question.Format(format, ProgramName.GetString());
        if (MessageBoxW(m_hWnd, question, ProgramName, MB_YESNO | MB_ICONQUESTION) == IDNO)
            return -1;
    }
    m_pSettings->folder = folder;
    m_pSettings->group = group;
    m_pSettings->launchAfterInstall = m_launch.IsChecked();
    m_pSettings->createDesktopShortcut = m_shortcut.IsChecked();
    return IDD_INSTALL_PROGRESS;
}

void CWizSetConf::Browse()
{
    TComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(reinterpret_cast<IMalloc**>(allocator.Receive()))))
        return;
    LPITEMIDLIST computer = nullptr;
    SHGetSpecialFolderLocation(m_hWnd, CSIDL_DRIVES, &computer);
    wchar_t path[MAX_PATH] = L"";
    GetWindowTextW(m_folder.GetHwnd(), path, MAX_PATH);
    BROWSEINFOW browse = {};
    browse.hwndOwner = m_hWnd;
    browse.pidlRoot = computer;
    browse.lpszTitle = L"Select installation folder";
    browse.ulFlags = BROWSE_FLAGS;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(path);
    LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
    if (chosen) {
        wchar_t folder[MAX_PATH];
        if (SHGetPathFromIDListW(chosen, folder))
            SetWindowTextW(m_folder.GetHwnd(), folder);
        allocator->Free(chosen);
    }
    if (computer)
        allocator->Free(computer);
}
