// The writing thread of an extraction: it writes every piece into the file
// the walker opened for its job, with one call, and closes the file at the
// job's end. A file that was there is emptied at its first piece; a job that
// did not end well takes its file with it where the file is this run's to
// delete.
#include "archive/Extraction.h"

DWORD WINAPI CExtraction::WriterProc(LPVOID extraction)
{
    static_cast<CExtraction*>(extraction)->Write();
    return 0;
}

void CExtraction::Write()
{
    for (;;) {
        TPiece piece;
        {
            CLock lock(m_lock);
            while (!m_nPieces)
                m_piecesReady.Wait(m_lock);
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
    m_buffersFree.WakeOne();
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
        if (!writing.failed && !writing.written && writing.existed && !SetEndOfFile(writing.file.GetHandle())) {
            writing.failed = true;
            NoteFailure(job.order, GetLastError(), job.order);
        }
        if (!writing.failed) {
            writing.written = true;
            if (writing.file.Write(m_buffers[piece.buffer], piece.bytes) == piece.bytes) {
                uint64_t written = m_written += piece.bytes;
                // The walker reports progress a thousandth at a time.
                if (written - m_signalled > m_totalBytes / 1000) {
                    m_signalled = written;
                    m_walkerWakes.WakeAll();
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
        EndJob(piece.job, true);
        return;
    case PieceKind::Dropped:
        EndJob(piece.job, true);
        return;
    case PieceKind::End:
        EndJob(piece.job, writing.failed);
        return;
    case PieceKind::Stop:
        return;
    }
}

void CExtraction::EndJob(unsigned index, bool failed)
{
    TWriting& writing = m_writing[index];
    TJob& job = m_jobs[index];
    // What a failed job began is no whole file: one this run made goes
    // again (where the system can delete through the handle; else the
    // rollback deletes it by its path).
    bool deleted = failed && !writing.existed && CConfinedFolder::DeleteOpenFile(writing.file.GetHandle());
    writing.file.Close();
    {
        CLock lock(m_lock);
        // Not this run's file any more: one it made and deleted again, or
        // one that was there and was never emptied. The rollback must not
        // delete those.
        if (deleted || (failed && writing.existed && !writing.written))
            m_unwritten.Add(job.slot);
        job.inFlight = false;
        ++m_nFreeJobs;
    }
    m_walkerWakes.WakeAll();
}
