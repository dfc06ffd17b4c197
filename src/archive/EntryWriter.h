// Writes extracted entries to their files on threads of their own, so that
// inflating the next entry overlaps creating and filling earlier files: a
// file's creation waits on the file system, the copy of its bytes on memory.
// Every handed-over file is recorded by the caller before it is handed over;
// when one cannot be written, the entries not yet taken are dropped, and the
// caller learns which recorded files this run did not write. Two entries that
// may name one file are never written at once: the later waits, so it wins as
// it would in archive order. When no thread can start, every entry is written
// on the caller's thread instead.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/Array.h"
#include "base/BinFile.h"
#include "base/ConfinedFolder.h"
#include "base/CriticalSection.h"
#include "base/Handle.h"

class CEntryWriter {
public:
    static const unsigned MAX_WRITERS = 4;

    // With `folder`, every file is opened through it: one that turns out to
    // lie outside (a link on its way) is not written. The folder must outlive
    // the writer.
    explicit CEntryWriter(unsigned writers, const CConfinedFolder* folder = nullptr);
    ~CEntryWriter();

    CEntryWriter(const CEntryWriter&) = delete;
    CEntryWriter& operator=(const CEntryWriter&) = delete;

    // Storage for the next entry, at least `bytes` long; waits while every
    // buffer is being written. False when the storage cannot be had.
    bool GetBuffer(uint32_t bytes, uint8_t** data);
    // Hands over the buffer from GetBuffer, holding `bytes` bytes for
    // `path`; `slot` is the path's index in the caller's list. False when a
    // write has failed: nothing more is written then.
    bool Submit(const wchar_t* path, uint32_t bytes, unsigned slot);
    // Waits until every handed-over entry is written or dropped. False when
    // a write failed; the calling thread's error code is then the failure of
    // the earliest entry that failed.
    bool Finish();
    // After Finish: the slots of handed-over files this run did not create or
    // empty (not opened, or dropped after a failure), highest first.
    const TArray<unsigned, 16>& GetUnwrittenSlots() const { return m_unwritten; }

private:
    static const unsigned MAX_BUFFERS = MAX_WRITERS + 1;

    // An entry's bytes, in storage kept across entries: large buffers are
    // expensive to come by again and again.
    struct TBuffer {
        uint8_t* data;
        uint32_t capacity;
        bool free;
        bool inFlight;          // handed over and not yet written
        wchar_t key[MAX_PATH];  // the key of its job's path
    };
    struct TJob {
        wchar_t path[MAX_PATH];
        unsigned buffer;
        uint32_t bytes;
        unsigned slot;
    };
    struct TThread {
        CEntryWriter* owner;
        CHandle handle;
        CBinFile destination; // serves all the thread's files in turn
    };

    static DWORD WINAPI ThreadProc(LPVOID thread);
    void Run(CBinFile& destination);
    // Writes one job and settles its outcome; `skip` drops it unwritten.
    void Complete(const TJob& job, CBinFile& destination, bool skip);
    void ReleaseBuffer(unsigned buffer);
    // True when a job in flight may write the file with the key `key`.
    bool Collides(const wchar_t* key) const;
    // Waits until every handed-over job is done.
    void Drain();

    TBuffer m_buffers[MAX_BUFFERS] = {};
    unsigned m_nBuffers = 1;
    unsigned m_nFilling = 0;
    TJob m_queue[MAX_BUFFERS] = {};
    unsigned m_nHead = 0;
    unsigned m_nQueued = 0;
    TThread m_threads[MAX_WRITERS];
    unsigned m_nThreads = 0;
    CBinFile m_inline; // the destination when no thread runs
    CCriticalSection m_lock;
    CHandle m_freeBuffers; // semaphore: buffers not being filled or written
    CHandle m_queuedJobs;  // semaphore: jobs, then one stop for each thread
    bool m_bFinished = false;
    bool m_bFailed = false;
    unsigned m_nFailedSlot = 0;
    DWORD m_dwError = 0;
    TArray<unsigned, 16> m_unwritten;
    const CConfinedFolder* m_pFolder = nullptr;
};
