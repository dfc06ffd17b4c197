// One extraction at work: the calling thread walks the central directory,
// checks every name, makes the folders, creates the files one after the
// other and hands each over as a job; a pool of inflating threads, one per
// core, turns jobs into pieces of at most PIECE_BYTES; one writer thread
// writes each piece with one call and closes each file at its job's end.
// Creating a file is what costs most where the file system is slow to make
// one, so it overlaps with writing the ones before.
//
// Memory is the fixed window of pieces (a few per inflating thread), an
// input buffer per inflating thread and the directory's window: it does not
// grow with the archive or its largest file.
//
// A job's pieces come in order, from the one thread that inflates it; the
// writer holds a file open from its first piece to the job's end. Two jobs
// that may name one file are never in flight together: the later waits, so
// it wins as it would in archive order. A failure stops what comes after
// it in the archive, and a stop request everything: the walker hands out
// no more jobs, the inflaters drop theirs between pieces, and the writer
// deletes what a job it could not finish began. Jobs before a failure are
// finished, as a serial extraction would have written them.
//
// The threads hand work to each other through queues under one lock and
// condition variables, which wait without kernel objects: a file then costs
// little more than its own creation and writes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "archive/ArchiveSource.h"
#include "archive/ZipDirectory.h"
#include "base/Array.h"
#include "base/BinFile.h"
#include "base/Condition.h"
#include "base/ConfinedFolder.h"
#include "base/CriticalSection.h"
#include "base/Handle.h"
#include "base/PathList.h"
#include "base/Str.h"

class CExtractObserver;
class CLinkFreeFolders;

class CExtraction {
public:
    static const uint32_t PIECE_BYTES = 1024 * 1024;
    // Room before every buffer the archive is read into (see ReadAtPadded).
    static const size_t READ_PAD = 16;
    static const unsigned MAX_INFLATERS = 8;

    CExtraction();
    ~CExtraction();
    CExtraction(const CExtraction&) = delete;
    CExtraction& operator=(const CExtraction&) = delete;

    bool Run(const TArchiveSpan& span, const wchar_t* installFolder, CPathList& createdFiles,
             CExtractObserver* observer, CPathList* createdFolders);

private:
    static const unsigned MAX_JOBS = 64;
    static const unsigned NO_JOB = ~0u;
    static const unsigned NO_BUFFER = ~0u;
    // Names longer than this cannot make a path that fits 259 characters.
    static const unsigned MAX_NAME_BYTES = 1024;

    struct TJob {
        TZipEntry entry;
        uint8_t name[MAX_NAME_BYTES];
        wchar_t path[MAX_PATH];
        wchar_t key[MAX_PATH]; // the path as the file system compares it
        unsigned slot;         // in the created-files list
        uint64_t order;        // the entry's index in the directory
        bool inFlight;
    };
    enum class PieceKind : uint8_t {
        Data,    // bytes of the file
        End,     // the file is complete
        Failed,  // the entry could not be read; `error` says why
        Dropped, // the extraction stops; the entry is not finished
        Stop,    // no more pieces: the writer ends
    };
    struct TPiece {
        unsigned job;
        unsigned buffer;
        uint32_t bytes;
        PieceKind kind;
        DWORD error;
    };
    struct TInflater {
        CExtraction* owner;
        CHandle thread;
        CArchiveReader reader;
        uint8_t* input;
        void* stream; // z_stream
    };
    // The file of each job in flight: opened by the walker, written and
    // closed by the writer.
    struct TWriting {
        CBinFile file;
        bool existed = false; // emptied at the first piece, not before
        bool written = false; // a piece went into it
        bool failed = false;
    };

    // Walker, on the calling thread.
    bool Prepare(const TArchiveSpan& span, const wchar_t* installFolder);
    bool StartThreads();
    void StopThreads();
    bool Dispatch(CPathList& createdFiles, CLinkFreeFolders& folders, CPathList* createdFolders);
    // Checks one entry and hands it over; false ends the walk.
    bool HandOver(const TZipEntry& entry, const uint8_t* name, CPathList& createdFiles, CLinkFreeFolders& folders,
                  CPathList* createdFolders);
    // Waits, with the lock held, until `ready` holds, reporting progress and
    // looking for a stop request meanwhile.
    template <typename TReady>
    void WaitUntil(TReady ready);
    void ReportProgress(bool last);
    bool Collides(const wchar_t* key);
    // Notes the failure of the entry of `order` (the earliest one's reason
    // is the extraction's) and stops the jobs from `stopFrom` on.
    void NoteFailure(uint64_t order, DWORD error, uint64_t stopFrom);
    bool IsStopping() const { return m_stopOrder != UINT64_MAX; }
    bool IsStopped(uint64_t order) const { return order >= m_stopOrder; }
    // A stop request: every job is given up.
    void Cancel();

    // Inflaters.
    static bool InitInflater(TInflater& inflater);
    static void FreeInflater(TInflater& inflater);
    static DWORD WINAPI InflaterProc(LPVOID inflater);
    void Inflate(TInflater& self);
    DWORD InflateJob(TInflater& self, unsigned job);
    unsigned TakeBuffer();
    void Submit(unsigned job, unsigned buffer, uint32_t bytes, PieceKind kind, DWORD error = 0);

    // Writer.
    static DWORD WINAPI WriterProc(LPVOID extraction);
    void Write();
    void WritePiece(const TPiece& piece);
    void EndJob(unsigned job, bool failed);
    void ReleaseBuffer(unsigned buffer);

    TStrStatic<MAX_PATH> m_folder;
    CConfinedFolder m_confined;
    TArchiveSpan m_span;
    CArchiveReader m_reader;
    CZipDirectory m_directory;
    uint64_t m_totalBytes = 0;
    CExtractObserver* m_pObserver = nullptr;

    CCriticalSection m_lock;
    // The walker waits for free jobs, for a job that may write the same
    // file, for the end of all jobs, and is woken by the writer's progress.
    CCondition m_walkerWakes;
    // Jobs: free slots, then the queue to the inflaters (jobs, then one
    // stop for each inflater).
    TJob m_jobs[MAX_JOBS] = {};
    unsigned m_nFreeJobs = MAX_JOBS;
    unsigned m_queue[MAX_JOBS + MAX_INFLATERS] = {};
    unsigned m_nQueueHead = 0;
    unsigned m_nQueued = 0;
    CCondition m_jobsQueued;
    // The window: piece buffers, and the queue to the writer.
    uint8_t* m_buffers[2 * MAX_INFLATERS + 2] = {};
    unsigned m_nBuffers = 0;
    unsigned m_freeList[2 * MAX_INFLATERS + 2] = {};
    unsigned m_nFree = 0;
    CCondition m_buffersFree;
    CCondition m_piecesReady;
    static const unsigned PIECE_QUEUE = 2 * MAX_INFLATERS + 2 + MAX_JOBS + 1;
    TPiece m_pieces[PIECE_QUEUE] = {};
    unsigned m_nPieceHead = 0;
    unsigned m_nPieces = 0;

    TInflater m_inflaters[MAX_INFLATERS] = {};
    unsigned m_nInflaters = 0;
    CHandle m_writer;
    TWriting m_writing[MAX_JOBS];

    // Jobs of this order and later are not begun, and given up between
    // pieces: a failure stops what comes after it, a stop request all.
    std::atomic<uint64_t> m_stopOrder{UINT64_MAX};
    std::atomic<uint64_t> m_written{0};
    uint64_t m_reported = 0;   // by the walker
    DWORD m_reportedAt = 0;
    uint64_t m_signalled = 0;  // by the writer
    // The earliest failure, by the entry's order; under the lock.
    bool m_bFailed = false;
    uint64_t m_failedOrder = 0;
    DWORD m_failedError = 0;
    TArray<unsigned, 16> m_unwritten; // slots of files this run did not create or empty
};
