// Writes extracted entries to their files on a thread of its own, so that
// inflating the next entry overlaps writing the previous one. One entry is
// handed over at a time and files are written in the order given; one
// CBinFile serves them all, as the serial loop had it. When the thread
// cannot start, every entry is written on the caller's thread instead.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/BinFile.h"
#include "base/Handle.h"

// An entry's bytes, in storage kept across entries: large buffers are
// expensive to come by again and again.
struct TEntryBuffer {
    uint8_t* data = nullptr;
    uint32_t capacity = 0;
};

class CEntryWriter {
public:
    CEntryWriter();
    ~CEntryWriter();

    CEntryWriter(const CEntryWriter&) = delete;
    CEntryWriter& operator=(const CEntryWriter&) = delete;

    // Storage for the next entry, at least `bytes` long; false when it
    // cannot be had.
    bool GetBuffer(uint32_t bytes, uint8_t** data);
    // Hands over the buffer from GetBuffer, holding `bytes` bytes for
    // `path`; `slot` is the path's index in the created-files list. False
    // when an earlier write has failed: nothing more is written then.
    bool Submit(const wchar_t* path, uint32_t bytes, unsigned slot);
    // Waits for every handed-over entry. False when a write failed; the
    // error code is then the calling thread's.
    bool Finish();
    // After a failed Finish: how many created-files slots stand for files
    // this run wrote or emptied (a file that could not be opened was not).
    unsigned GetKeptSlots() const { return m_nKeptSlots; }

private:
    struct TJob {
        wchar_t path[MAX_PATH];
        const uint8_t* data;
        uint32_t bytes;
        unsigned slot;
    };

    static DWORD WINAPI ThreadProc(LPVOID writer);
    void Run();
    void Write(const TJob& job);

    CBinFile m_destination;
    TEntryBuffer m_buffers[2]; // one being filled, one being written
    unsigned m_nFilling = 0;
    TJob m_job = {};
    CHandle m_jobReady;  // a job waits in m_job
    CHandle m_jobTaken;  // the thread is done with m_job and its buffer
    CHandle m_thread;
    bool m_bStop = false;
    bool m_bBusy = false; // a job was handed over and is not yet written
    // Set by the writing side, read by the caller only after m_jobTaken.
    bool m_bFailed = false;
    DWORD m_dwError = 0;
    unsigned m_nKeptSlots = 0;
};
