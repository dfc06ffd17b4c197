#include "archive/EntryWriter.h"

#include <cstdlib>

#include "base/KeyText.h"

CEntryWriter::CEntryWriter()
{
    m_jobReady.Attach(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_jobTaken.Attach(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (m_jobReady && m_jobTaken)
        m_thread.Attach(CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr));
}

CEntryWriter::~CEntryWriter()
{
    Finish();
    if (m_thread) {
        m_bStop = true;
        SetEvent(m_jobReady.Get());
        WaitForSingleObject(m_thread.Get(), INFINITE);
    }
    for (TEntryBuffer& buffer : m_buffers)
        free(buffer.data);
}

bool CEntryWriter::GetBuffer(uint32_t bytes, uint8_t** data)
{
    TEntryBuffer& buffer = m_buffers[m_nFilling];
    if (buffer.capacity < bytes) {
        free(buffer.data);
        buffer.data = static_cast<uint8_t*>(malloc(bytes));
        buffer.capacity = buffer.data ? bytes : 0;
        if (!buffer.data)
            return false;
    }
    *data = buffer.data;
    return true;
}

bool CEntryWriter::Submit(const wchar_t* path, uint32_t bytes, unsigned slot)
{
    if (!m_thread) {
        TJob job = {};
        CopyText(job.path, MAX_PATH, path);
        job.data = m_buffers[m_nFilling].data;
        job.bytes = bytes;
        job.slot = slot;
        if (!m_bFailed)
            Write(job);
        return !m_bFailed;
    }
    // The previous job must be out of the way before this one takes its place.
    if (m_bBusy)
        WaitForSingleObject(m_jobTaken.Get(), INFINITE);
    m_bBusy = false;
    if (m_bFailed)
        return false;
    CopyText(m_job.path, MAX_PATH, path);
    m_job.data = m_buffers[m_nFilling].data;
    m_job.bytes = bytes;
    m_job.slot = slot;
    m_bBusy = true;
    SetEvent(m_jobReady.Get());
    // The next entry is read into the other buffer meanwhile.
    m_nFilling ^= 1;
    return true;
}

bool CEntryWriter::Finish()
{
    if (m_bBusy)
        WaitForSingleObject(m_jobTaken.Get(), INFINITE);
    m_bBusy = false;
    m_destination.Close();
    if (m_bFailed)
        SetLastError(m_dwError);
    return !m_bFailed;
}

DWORD WINAPI CEntryWriter::ThreadProc(LPVOID writer)
{
    static_cast<CEntryWriter*>(writer)->Run();
    return 0;
}

void CEntryWriter::Run()
{
    for (;;) {
        WaitForSingleObject(m_jobReady.Get(), INFINITE);
        if (m_bStop)
            return;
        Write(m_job);
        SetEvent(m_jobTaken.Get());
    }
}

void CEntryWriter::Write(const TJob& job)
{
    if (!m_destination.OpenWrite(job.path)) {
        // Not written by this run (an older copy in use, say): the rollback
        // must not delete it.
        m_nKeptSlots = job.slot;
    } else if (m_destination.Write(job.data, job.bytes) != job.bytes) {
        m_nKeptSlots = job.slot + 1;
    } else {
        return;
    }
    m_dwError = GetLastError();
    m_bFailed = true;
}
