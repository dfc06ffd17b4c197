#include "install/StepWorker.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <prsht.h>

#include "app/Globals.h"
#include "base/MessagePump.h"

CStepWorker::~CStepWorker()
{
    StopWorker();
}

void CStepWorker::AttachWindows(HWND page, HWND stepList, HWND status)
{
    m_hPage = page;
    m_hStepList = stepList;
    m_hStatus = status;
}

void CStepWorker::StopWorker()
{
    if (!m_hThread)
        return;
    m_bCancel = true;
    WaitWithMessagePump(m_hThread.Get());
    m_hThread.Close();
}

bool CStepWorker::StartThread(LPTHREAD_START_ROUTINE proc)
{
    if (m_hThread)
        return true;
    HANDLE thread = CreateThread(nullptr, 0, proc, this, CREATE_SUSPENDED, nullptr);
    if (!thread)
        return false;
    m_hThread.Attach(thread);
    ResumeThread(thread);
    return true;
}

void CStepWorker::RunThreadBody()
{
    HRESULT com = CoInitialize(nullptr);
    RunSteps();
    m_bFinished = true;
    RefreshWorker();
    if (SUCCEEDED(com))
        CoUninitialize();
}

LPARAM CStepWorker::Position(unsigned n) const
{
    LRESULT rows = SendMessageW(m_hStepList, LVM_GETITEMCOUNT, 0, 0);
    // A page without rows has nothing to divide by: the bar is full.
    return rows > 0 ? static_cast<LPARAM>(n * 100 / rows) : 100;
}

void CStepWorker::PostStep(WORD row, WORD state, LPARAM position) const
{
    PostMessageW(m_hPage, WM_SETUP_STEP, MAKEWPARAM(row, state), position);
}

void CStepWorker::SetWizardButtons() const
{
    PostMessageW(GetParent(m_hPage), PSM_SETWIZBUTTONS, 0, m_bFinished ? PSWIZB_FINISH : 0);
}

void CStepWorker::DisableCancel() const
{
    EnableWindow(GetDlgItem(GetParent(m_hPage), IDCANCEL), FALSE);
}

void CStepWorker::ShowStatusText(unsigned textId) const
{
    wchar_t text[256];
    Texts.LoadText(textId, text, 256);
    SetWindowTextW(m_hStatus, text);
}
