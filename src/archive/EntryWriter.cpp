#include "archive/EntryWriter.h"

#include <cstdlib>
#include <cwchar>

#include "base/KeyText.h"

namespace {

int CompareDescending(const void* a, const void* b)
{
    unsigned left = *static_cast<const unsigned*>(a);
    unsigned right = *static_cast<const unsigned*>(b);
    return left < right ? 1 : left > right ? -1 : 0;
}

// Upper case, and each part without the trailing dots and spaces the file
// system ignores. Short (8.3) names are not resolved: a path holding a tilde
// gets an empty key, which collides with everything.
void MakeKey(const wchar_t* path, wchar_t* key)
{
    unsigned length = 0;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'~') {
            key[0] = 0;
            return;
        }
        if (*p == L'\\')
            while (length && (key[length - 1] == L'.' || key[length - 1] == L' '))
                --length;
        key[length++] = *p;
    }
    while (length && (key[length - 1] == L'.' || key[length - 1] == L' '))
        --length;
    key[length] = 0;
    CharUpperBuffW(key, length);
}

} // namespace

CEntryWriter::CEntryWriter(unsigned writers, const CConfinedFolder* folder) : m_pFolder(folder)
{
    if (writers > MAX_WRITERS)
        writers = MAX_WRITERS;
    for (TBuffer& buffer : m_buffers)
        buffer.free = true;
    m_freeBuffers.Attach(CreateSemaphoreW(nullptr, 1, MAX_BUFFERS, nullptr));
    m_queuedJobs.Attach(CreateSemaphoreW(nullptr, 0, MAX_BUFFERS + MAX_WRITERS, nullptr));
    if (!m_freeBuffers || !m_queuedJobs)
        return;
    for (unsigned i = 0; i < writers; ++i) {
        TThread& thread = m_threads[m_nThreads];
        thread.owner = this;
        thread.handle.Attach(CreateThread(nullptr, 0, ThreadProc, &thread, 0, nullptr));
        if (!thread.handle)
            break;
        ++m_nThreads;
    }
    // One buffer being filled while each thread writes one.
    m_nBuffers = m_nThreads + 1;
    if (m_nThreads)
        ReleaseSemaphore(m_freeBuffers.Get(), static_cast<LONG>(m_nThreads), nullptr);
}

CEntryWriter::~CEntryWriter()
{
    Finish();
    for (TBuffer& buffer : m_buffers)
        free(buffer.data);
}

bool CEntryWriter::GetBuffer(uint32_t bytes, uint8_t** data)
{
    if (m_nThreads)
        WaitForSingleObject(m_freeBuffers.Get(), INFINITE);
    {
        CLock lock(m_lock);
        for (m_nFilling = 0; m_nFilling < m_nBuffers - 1 && !m_buffers[m_nFilling].free; ++m_nFilling) {
        }
        m_buffers[m_nFilling].free = false;
    }
    TBuffer& buffer = m_buffers[m_nFilling];
    if (buffer.capacity < bytes) {
        free(buffer.data);
        buffer.data = static_cast<uint8_t*>(malloc(bytes));
        buffer.capacity = buffer.data ? bytes : 0;
        if (!buffer.data) {
            ReleaseBuffer(m_nFilling);
            return false;
        }
    }
    *data = buffer.data;
    return true;
}

void CEntryWriter::ReleaseBuffer(unsigned buffer)
{
    {
        CLock lock(m_lock);
        m_buffers[buffer].free = true;
        m_buffers[buffer].inFlight = false;
    }
    if (m_nThreads)
        ReleaseSemaphore(m_freeBuffers.Get(), 1, nullptr);
}

bool CEntryWriter::Submit(const wchar_t* path, uint32_t bytes, unsigned slot)
{
    TJob job;
    CopyText(job.path, MAX_PATH, path);
    job.buffer = m_nFilling;
    job.bytes = bytes;
    job.slot = slot;
    if (!m_nThreads) {
        Complete(job, m_inline, m_bFailed);
        ReleaseBuffer(job.buffer);
        return !m_bFailed;
    }
    // The path as the file system compares it.
    wchar_t key[MAX_PATH];
    MakeKey(job.path, key);
    bool collides;
    {
        CLock lock(m_lock);
        collides = Collides(key);
    }
    if (collides)
        Drain();
    {
        CLock lock(m_lock);
        if (!m_bFailed) {
            m_queue[(m_nHead + m_nQueued) % MAX_BUFFERS] = job;
            m_buffers[job.buffer].inFlight = true;
            CopyText(m_buffers[job.buffer].key, MAX_PATH, key);
            ++m_nQueued;
            ReleaseSemaphore(m_queuedJobs.Get(), 1, nullptr);
            return true;
        }
    }
    ReleaseBuffer(job.buffer);
    return false;
}

bool CEntryWriter::Collides(const wchar_t* key) const
{
    for (unsigned i = 0; i < m_nBuffers; ++i) {
        const TBuffer& buffer = m_buffers[i];
        if (buffer.inFlight && (!buffer.key[0] || !key[0] || wcscmp(buffer.key, key) == 0))
            return true;
    }
    return false;
}

void CEntryWriter::Drain()
{
    // The caller holds the buffer it fills; the others come back one by one.
    for (unsigned i = 0; i < m_nThreads; ++i)
        WaitForSingleObject(m_freeBuffers.Get(), INFINITE);
    ReleaseSemaphore(m_freeBuffers.Get(), static_cast<LONG>(m_nThreads), nullptr);
}

bool CEntryWriter::Finish()
{
    if (!m_bFinished) {
        m_bFinished = true;
        if (m_nThreads) {
            // The threads take every job before any stop: the queue is first
            // come, first served.
            ReleaseSemaphore(m_queuedJobs.Get(), static_cast<LONG>(m_nThreads), nullptr);
            for (unsigned i = 0; i < m_nThreads; ++i)
                WaitForSingleObject(m_threads[i].handle.Get(), INFINITE);
        }
        m_inline.Close();
        if (m_unwritten.GetCount() > 1)
            qsort(m_unwritten.GetAt(0), m_unwritten.GetCount(), sizeof(unsigned), CompareDescending);
    }
    if (m_bFailed)
        SetLastError(m_dwError);
    return !m_bFailed;
}

DWORD WINAPI CEntryWriter::ThreadProc(LPVOID thread)
{
    TThread* self = static_cast<TThread*>(thread);
    self->owner->Run(self->destination);
    return 0;
}

void CEntryWriter::Run(CBinFile& destination)
{
    for (;;) {
        WaitForSingleObject(m_queuedJobs.Get(), INFINITE);
        TJob job;
        bool skip;
        {
            CLock lock(m_lock);
            if (!m_nQueued)
                break; // a stop: the queue is empty
            job = m_queue[m_nHead];
            m_nHead = (m_nHead + 1) % MAX_BUFFERS;
            --m_nQueued;
            skip = m_bFailed;
        }
        Complete(job, destination, skip);
        ReleaseBuffer(job.buffer);
    }
    destination.Close();
}

void CEntryWriter::Complete(const TJob& job, CBinFile& destination, bool skip)
{
    bool opened = !skip && (m_pFolder ? m_pFolder->OpenWrite(destination, job.path) : destination.OpenWrite(job.path));
    bool written = opened && destination.Write(m_buffers[job.buffer].data, job.bytes) == job.bytes;
    DWORD error = written || skip ? 0 : GetLastError();
    if (!written && !skip && error == NO_ERROR)
        error = ERROR_WRITE_FAULT; // a short write without a reason
    CLock lock(m_lock);
    // Not opened: not written by this run (an older copy in use, or a file
    // outside the folder), so the rollback must not delete it.
    if (!opened)
        m_unwritten.Add(job.slot);
    if (!skip && !written && (!m_bFailed || job.slot < m_nFailedSlot)) {
        m_bFailed = true;
        m_nFailedSlot = job.slot;
        m_dwError = error;
    }
}
