// The writing thread of an extraction: it creates each file at its first
// piece, inside the installation folder only, writes every piece with one
// call, and closes the file at its job's end; a job that did not end well
// takes its file with it where the file is this run's to delete.
#include "archive/Extraction.h"

DWORD WINAPI CExtraction::WriterProc(LPVOID extraction)
{
    static_cast<CExtraction*>(extraction)->Write();
    return 0;
}

void CExtraction::Write()
{
    for (;;) {
        WaitForSingleObject(m_readyPieces.Get(), INFINITE);
        TPiece piece;
        {
            CLock lock(m_lock);
            piece = m_pieces[m_nPieceHead];
            m_nPieceHead = (m_nPieceHead + 1) % PIECE_QUEUE;
            --m_nPieces;
        }
        if (piece.kind == PieceKind::Stop)
            return;
        WritePiece(piece);
    }
}

void CExtraction::ReleaseBuffer(unsigned buffer)
{
    {
        CLock lock(m_lock);
        m_freeList[m_nFree++] = buffer;
    }
    ReleaseSemaphore(m_freePieces.Get(), 1, nullptr);
}

void CExtraction::WritePiece(const TPiece& piece)
{
    TWriting& writing = m_writing[piece.job];
    const TJob& job = m_jobs[piece.job];
    switch (piece.kind) {
    case PieceKind::Data:
        // Once the extraction stops at or before this job, its file is
        // neither begun nor carried on.
        if (IsStopped(job.order))
            writing.failed = true;
        if (!writing.failed && !writing.opened) {
            writing.opened = m_confined.OpenWrite(writing.file, job.path);
            if (!writing.opened) {
                writing.failed = true;
                NoteFailure(job.order, GetLastError(), job.order);
            }
        }
        if (!writing.failed) {
            if (writing.file.Write(m_buffers[piece.buffer], piece.bytes) == piece.bytes) {
                uint64_t written = m_written += piece.bytes;
                // The walker reports progress a thousandth at a time.
                if (written - m_signalled > m_totalBytes / 1000) {
                    m_signalled = written;
                    SetEvent(m_progressed.Get());
                }
            } else {
                writing.failed = true;
                NoteFailure(job.order, GetLastError(), job.order);
            }
        }
        ReleaseBuffer(piece.buffer);
        return;
    case PieceKind::Failed:
        NoteFailure(job.order, piece.error, job.order);
        EndJob(piece.job, true, piece.error);
        return;
    case PieceKind::Dropped:
        EndJob(piece.job, true, 0);
        return;
    case PieceKind::End:
        EndJob(piece.job, writing.failed, 0);
        return;
    case PieceKind::Stop:
        return;
    }
}

void CExtraction::EndJob(unsigned index, bool failed, DWORD)
{
    TWriting& writing = m_writing[index];
    TJob& job = m_jobs[index];
    if (writing.opened) {
        // What a failed job began is no whole file.
        if (failed)
            CConfinedFolder::DeleteOpenFile(writing.file.GetHandle());
        writing.file.Close();
    }
    {
        CLock lock(m_lock);
        // Not opened: not written by this run (an older copy in use, a file
        // outside the folder, or a job given up), so the rollback must not
        // delete it.
        if (!writing.opened)
            m_unwritten.Add(job.slot);
        job.inFlight = false;
    }
    writing.opened = false;
    writing.failed = false;
    ReleaseSemaphore(m_freeJobs.Get(), 1, nullptr);
    SetEvent(m_jobEnded.Get());
}
