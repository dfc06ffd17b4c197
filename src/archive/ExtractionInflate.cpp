// The inflating threads of an extraction: each takes the next job, checks
// its local header against the central one, and turns its data into pieces
// for the writer, checking sizes and CRC-32 as it goes.
#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "archive/Extraction.h"

namespace {

// Holds the longest local header (30 bytes and two fields of up to 64 KB),
// so that the first read of an entry always holds its header.
const uint32_t INPUT_BYTES = 256 * 1024;
// What a local header may hold beyond its central header's name and extra
// field before a second read is needed.
const uint32_t LOCAL_HEADER_SLACK = 256;

uint32_t Smallest(uint64_t a, uint64_t b, uint64_t c)
{
    uint64_t least = a < b ? a : b;
    return static_cast<uint32_t>(least < c ? least : c);
}

DWORD ErrorOr(DWORD fallback)
{
    DWORD error = GetLastError();
    return error ? error : fallback;
}

} // namespace

bool CExtraction::InitInflater(TInflater& inflater)
{
    auto* input = static_cast<uint8_t*>(malloc(INPUT_BYTES + READ_PAD));
    inflater.input = input ? input + READ_PAD : nullptr;
    auto* stream = static_cast<z_stream*>(calloc(1, sizeof(z_stream)));
    inflater.stream = stream;
    // Raw deflate: the ZIP entry has no zlib header.
    if (!inflater.input || !stream || inflateInit2(stream, -MAX_WBITS) != Z_OK) {
        free(stream);
        inflater.stream = nullptr;
        FreeInflater(inflater);
        return false;
    }
    return true;
}

void CExtraction::FreeInflater(TInflater& inflater)
{
    if (inflater.stream) {
        inflateEnd(static_cast<z_stream*>(inflater.stream));
        free(inflater.stream);
        inflater.stream = nullptr;
    }
    if (inflater.input)
        free(inflater.input - READ_PAD);
    inflater.input = nullptr;
    inflater.reader.Close();
}

DWORD WINAPI CExtraction::InflaterProc(LPVOID inflater)
{
    auto* self = static_cast<TInflater*>(inflater);
    self->owner->Inflate(*self);
    return 0;
}

void CExtraction::Inflate(TInflater& self)
{
    for (;;) {
        unsigned job;
        {
            CLock lock(m_lock);
            while (!m_nQueued)
                m_jobsQueued.Wait(m_lock);
            job = m_queue[m_nQueueHead];
            m_nQueueHead = (m_nQueueHead + 1) % (MAX_JOBS + MAX_INFLATERS);
            --m_nQueued;
        }
        if (job == NO_JOB)
            return;
        DWORD error = IsStopped(m_jobs[job].order) ? ERROR_CANCELLED : InflateJob(self, job);
        if (error == NO_ERROR)
            Submit(job, NO_BUFFER, 0, PieceKind::End);
        else if (error == ERROR_CANCELLED)
            Submit(job, NO_BUFFER, 0, PieceKind::Dropped);
        else
            Submit(job, NO_BUFFER, 0, PieceKind::Failed, error);
    }
}

unsigned CExtraction::TakeBuffer()
{
    CLock lock(m_lock);
    while (!m_nFree)
        m_buffersFree.Wait(m_lock);
    return m_freeList[--m_nFree];
}

void CExtraction::Submit(unsigned job, unsigned buffer, uint32_t bytes, PieceKind kind, DWORD error)
{
    {
        CLock lock(m_lock);
        TPiece& piece = m_pieces[(m_nPieceHead + m_nPieces++) % PIECE_QUEUE];
        piece = {job, buffer, bytes, kind, error};
    }
    m_piecesReady.WakeOne();
}

DWORD CExtraction::InflateJob(TInflater& self, unsigned index)
{
    const TJob& job = m_jobs[index];
    const TZipEntry& entry = job.entry;
    // Every entry lies before the central directory.
    const uint64_t limit = m_directory.Get().offset;
    if (entry.localOffset >= limit)
        return ERROR_FILE_CORRUPT;
    // The local header and, for a small entry, all of its data in one read.
    const uint64_t room = limit - entry.localOffset;
    uint64_t expected = ZIP_LOCAL_BYTES + entry.nameLength + entry.extraLength + LOCAL_HEADER_SLACK +
                        entry.compressedSize;
    uint32_t head = Smallest(INPUT_BYTES, room, expected);
    if (!self.reader.ReadAtPadded(entry.localOffset, self.input, head))
        return ErrorOr(ERROR_FILE_CORRUPT);
    if (head >= ZIP_LOCAL_BYTES) {
        // A local extra field larger than the central one: read it whole.
        uint64_t local = ZIP_LOCAL_BYTES + (self.input[26] | self.input[27] << 8) +
                         (self.input[28] | self.input[29] << 8);
        if (local > head && head < Smallest(INPUT_BYTES, room, UINT64_MAX)) {
            head = Smallest(INPUT_BYTES, room, local + entry.compressedSize);
            if (!self.reader.ReadAtPadded(entry.localOffset, self.input, head))
                return ErrorOr(ERROR_FILE_CORRUPT);
        }
    }
    size_t headerBytes = 0;
    if (CheckZipLocal(self.input, head, entry, job.name, &headerBytes) != ZipProblem::None)
        return ERROR_FILE_CORRUPT;
    const uint64_t dataStart = entry.localOffset + headerBytes;
    if (dataStart > limit || limit - dataStart < entry.compressedSize)
        return ERROR_FILE_CORRUPT;

    // The compressed bytes: what the first read holds past the header, then
    // further reads into the input buffer.
    const uint8_t* in = self.input + headerBytes;
    uint64_t inAvail = head - headerBytes < entry.compressedSize ? head - headerBytes : entry.compressedSize;
    uint64_t inNext = dataStart + inAvail;
    uint64_t inLeft = entry.compressedSize - inAvail;
    const bool deflated = entry.method == ZIP_METHOD_DEFLATED;
    auto* stream = static_cast<z_stream*>(self.stream);
    if (deflated)
        inflateReset(stream);
    // An entry that fits one piece is checked whole before a byte of it is
    // written; a larger one is checked at its end.
    const bool whole = entry.uncompressedSize < PIECE_BYTES;
    uLong crc = crc32(0, Z_NULL, 0);
    uint64_t produced = 0;
    unsigned buffer = NO_BUFFER;
    uint32_t filled = 0;
    DWORD error = NO_ERROR;
    for (;;) {
        if (buffer == NO_BUFFER) {
            if (IsStopped(job.order))
                return ERROR_CANCELLED;
            buffer = TakeBuffer();
            filled = 0;
        }
        uint8_t* out = m_buffers[buffer];
        bool done = false;
        if (!deflated) {
            uint64_t want = entry.uncompressedSize - produced - filled;
            uint32_t room = PIECE_BYTES - filled;
            uint32_t bytes = want < room ? static_cast<uint32_t>(want) : room;
            if (bytes == 0) {
                // An empty file: nothing to read.
            } else if (inAvail) {
                if (bytes > inAvail)
                    bytes = static_cast<uint32_t>(inAvail);
                memcpy(out + filled, in, bytes);
                in += bytes;
                inAvail -= bytes;
            } else {
                // Straight into the piece: stored files are often the large ones.
                // The byte before a piece's first is its pad; later ones are data.
                bool read = filled ? self.reader.ReadAt(inNext, out + filled, bytes)
                                   : self.reader.ReadAtPadded(inNext, out, bytes);
                if (!read) {
                    error = ErrorOr(ERROR_FILE_CORRUPT);
                    break;
                }
                inNext += bytes;
                inLeft -= bytes;
            }
            filled += bytes;
            done = produced + filled == entry.uncompressedSize;
        } else {
            if (!inAvail && inLeft) {
                uint32_t bytes = inLeft < INPUT_BYTES ? static_cast<uint32_t>(inLeft) : INPUT_BYTES;
                if (!self.reader.ReadAtPadded(inNext, self.input, bytes)) {
                    error = ErrorOr(ERROR_FILE_CORRUPT);
                    break;
                }
                in = self.input;
                inAvail = bytes;
                inNext += bytes;
                inLeft -= bytes;
            }
            stream->next_in = const_cast<Bytef*>(in);
            stream->avail_in = static_cast<uInt>(inAvail);
            stream->next_out = out + filled;
            stream->avail_out = PIECE_BYTES - filled;
            int result = inflate(stream, Z_NO_FLUSH);
            in += inAvail - stream->avail_in;
            inAvail = stream->avail_in;
            filled = PIECE_BYTES - stream->avail_out;
            if (result == Z_STREAM_END) {
                done = true;
            } else if (result == Z_MEM_ERROR) {
                error = ERROR_NOT_ENOUGH_MEMORY;
                break;
            } else if (result != Z_OK && !(result == Z_BUF_ERROR && (inAvail || inLeft))) {
                // A damaged stream, or one that ends before its data.
                error = ERROR_FILE_CORRUPT;
                break;
            }
            if (produced + filled > entry.uncompressedSize || (done && (inAvail || inLeft))) {
                error = ERROR_FILE_CORRUPT;
                break;
            }
        }
        if (!done && filled < PIECE_BYTES)
            continue;
        crc = crc32(crc, out, filled);
        produced += filled;
        if (done && (produced != entry.uncompressedSize || crc != entry.crc32)) {
            error = produced != entry.uncompressedSize ? ERROR_FILE_CORRUPT : ERROR_CRC;
            break;
        }
        if (!whole || done) {
            Submit(index, buffer, filled, PieceKind::Data);
            buffer = NO_BUFFER;
        }
        if (done)
            return NO_ERROR;
    }
    if (buffer != NO_BUFFER)
        ReleaseBuffer(buffer);
    return error;
}
