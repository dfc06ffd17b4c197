#include "archive/Extraction.h"

#include <cstdlib>
#include <cwchar>

#include "archive/ArchiveCheck.h"
#include "archive/Extract.h"
#include "archive/ZipNames.h"
#include "base/FileSystem.h"
#include "base/KeyText.h"
#include "base/LinkCheck.h"

namespace {

// CreateDirectoryW leaves room for an 8.3 name below a folder it creates.
const unsigned MAX_FOLDER_CHARS = MAX_PATH - 12 - 1;

// How often the walker looks up from a wait to report progress and look
// for a stop.
const DWORD REPORT_INTERVAL_MS = 40;

bool Fail(DWORD code)
{
    SetLastError(code);
    return false;
}

// Keeps the reason a system call gave, if it gave one.
bool FailKeeping(DWORD fallback)
{
    if (GetLastError() == NO_ERROR)
        SetLastError(fallback);
    return false;
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
    UpcaseName(reinterpret_cast<char16_t*>(key), length);
}

int CompareDescending(const void* a, const void* b)
{
    unsigned left = *static_cast<const unsigned*>(a);
    unsigned right = *static_cast<const unsigned*>(b);
    return left < right ? 1 : left > right ? -1 : 0;
}

unsigned ProcessorCount()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}

} // namespace

CExtraction::CExtraction() = default;

CExtraction::~CExtraction()
{
    StopThreads();
    for (unsigned i = 0; i < m_nBuffers; ++i)
        free(m_buffers[i] - READ_PAD);
}

bool CExtraction::Run(const TArchiveSpan& span, const wchar_t* installFolder, CPathList& createdFiles,
                      CExtractObserver* observer, CPathList* createdFolders)
{
    m_pObserver = observer;
    TStrStatic<MAX_PATH> root;
    if (!installFolder || !GetParentFolder(installFolder, root))
        return Fail(ERROR_BAD_PATHNAME);
    // Links are looked for below the installation folder's parent, so that
    // the folder itself cannot be one either.
    CLinkFreeFolders folders(root);
    if (!folders.Check(installFolder) || !m_confined.Init(installFolder))
        return FailKeeping(ERROR_PATH_NOT_FOUND);
    if (!Prepare(span, installFolder))
        return false;
    if (!StartThreads()) {
        StopThreads();
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    Dispatch(createdFiles, folders, createdFolders);
    StopThreads();
    ReportProgress(true);

    // Files this run did not create or empty are not its to roll back.
    if (m_unwritten.GetCount() > 1)
        qsort(m_unwritten.GetAt(0), m_unwritten.GetCount(), sizeof(unsigned), CompareDescending);
    for (unsigned i = 0; i < m_unwritten.GetCount(); ++i)
        createdFiles.RemoveAt(m_unwritten[i]);
    if (m_bFailed)
        return Fail(m_failedError);
    return true;
}

bool CExtraction::Prepare(const TArchiveSpan& span, const wchar_t* installFolder)
{
    m_folder.Assign(installFolder);
    m_span = span;
    if (!m_reader.Open(span))
        return FailKeeping(ERROR_FILE_CORRUPT);
    if (!m_directory.Open(m_reader))
        return false;
    // The whole archive is checked before anything is written: one that
    // breaks a rule writes nothing, and progress knows its total.
    TArchiveTotals totals;
    if (!CheckArchiveContract(m_reader, m_directory, totals))
        return false;
    m_totalBytes = totals.bytes;
    // Every path fits below this installation folder.
    if (m_folder.GetLength() + 1 + totals.longestName > MAX_PATH - 1 ||
        m_folder.GetLength() + 1 + totals.longestFolder > MAX_FOLDER_CHARS)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    return true;
}

bool CExtraction::StartThreads()
{
    unsigned inflaters = ProcessorCount();
    if (inflaters > MAX_INFLATERS)
        inflaters = MAX_INFLATERS;
    // A few pieces for each inflater: one being filled, one being written,
    // one waiting.
    unsigned buffers = 2 * inflaters + 2;
    for (m_nBuffers = 0; m_nBuffers < buffers; ++m_nBuffers) {
        auto* buffer = static_cast<uint8_t*>(malloc(PIECE_BYTES + READ_PAD));
        if (!buffer)
            return false;
        m_buffers[m_nBuffers] = buffer + READ_PAD;
        m_freeList[m_nFree++] = m_nBuffers;
    }
    m_writer.Attach(CreateThread(nullptr, 0, WriterProc, this, 0, nullptr));
    if (!m_writer)
        return false;
    for (; m_nInflaters < inflaters; ++m_nInflaters) {
        TInflater& inflater = m_inflaters[m_nInflaters];
        inflater.owner = this;
        if (!inflater.reader.Open(m_span) || !InitInflater(inflater))
            break;
        inflater.thread.Attach(CreateThread(nullptr, 0, InflaterProc, &inflater, 0, nullptr));
        if (!inflater.thread) {
            FreeInflater(inflater);
            break;
        }
    }
    return m_nInflaters > 0;
}

void CExtraction::StopThreads()
{
    if (m_nInflaters) {
        {
            // Every job handed over ends first, written or given up.
            CLock lock(m_lock);
            WaitUntil([this] { return m_nFreeJobs == MAX_JOBS; });
            for (unsigned i = 0; i < m_nInflaters; ++i)
                m_queue[(m_nQueueHead + m_nQueued++) % (MAX_JOBS + MAX_INFLATERS)] = NO_JOB;
        }
        m_jobsQueued.WakeAll();
        for (unsigned i = 0; i < m_nInflaters; ++i) {
            WaitForSingleObject(m_inflaters[i].thread.Get(), INFINITE);
            m_inflaters[i].thread.Close();
            FreeInflater(m_inflaters[i]);
        }
        m_nInflaters = 0;
    }
    if (m_writer) {
        Submit(NO_JOB, NO_BUFFER, 0, PieceKind::Stop);
        WaitForSingleObject(m_writer.Get(), INFINITE);
        m_writer.Close();
    }
}

template <typename TReady>
void CExtraction::WaitUntil(TReady ready)
{
    while (!ready()) {
        m_walkerWakes.Wait(m_lock, REPORT_INTERVAL_MS);
        // Reports go out without the lock: the observer may take a while.
        m_lock.Leave();
        ReportProgress(false);
        bool cancel = m_stopOrder != 0 && m_pObserver && m_pObserver->IsCancelled();
        m_lock.Enter();
        if (cancel) {
            m_lock.Leave();
            Cancel();
            m_lock.Enter();
        }
    }
}

void CExtraction::ReportProgress(bool last)
{
    if (!m_pObserver)
        return;
    uint64_t done = m_written;
    // A thousandth of the whole at a time, and not more often than the eye
    // follows: every report is a repaint on the page.
    DWORD now = GetTickCount();
    if (last || (done - m_reported >= m_totalBytes / 1000 + 1 && now - m_reportedAt >= REPORT_INTERVAL_MS)) {
        m_reported = done;
        m_reportedAt = now;
        m_pObserver->Progress(done, m_totalBytes);
    }
}

void CExtraction::NoteFailure(uint64_t order, DWORD error, uint64_t stopFrom)
{
    CLock lock(m_lock);
    if (!m_bFailed || order < m_failedOrder) {
        m_bFailed = true;
        m_failedOrder = order;
        m_failedError = error ? error : ERROR_WRITE_FAULT;
    }
    if (stopFrom < m_stopOrder)
        m_stopOrder = stopFrom;
}

void CExtraction::Cancel()
{
    // Any real failure before it names the reason.
    NoteFailure(UINT64_MAX, ERROR_CANCELLED, 0);
}

bool CExtraction::Dispatch(CPathList& createdFiles, CLinkFreeFolders& folders, CPathList* createdFolders)
{
    TZipEntry entry;
    const uint8_t* name = nullptr;
    while (m_directory.Next(entry, &name)) {
        if (m_pObserver && m_pObserver->IsCancelled())
            Cancel();
        if (IsStopping())
            return false;
        uint64_t order = m_directory.GetIndex() - 1;
        if (!HandOver(entry, name, createdFiles, folders, createdFolders)) {
            // The walker's own failure: nothing after this entry is handed
            // over; what went before is finished.
            if (!IsStopping())
                NoteFailure(order, GetLastError(), order);
            return false;
        }
        ReportProgress(false);
    }
    // The directory was read whole before: a failure now is the file's.
    if (GetLastError() != ERROR_NO_MORE_ITEMS) {
        NoteFailure(m_directory.GetIndex(), GetLastError(), m_directory.GetIndex());
        return false;
    }
    return true;
}

bool CExtraction::HandOver(const TZipEntry& entry, const uint8_t* name, CPathList& createdFiles,
                           CLinkFreeFolders& folders, CPathList* createdFolders)
{
    // The name as the file system will see it: decoded as the check before
    // did, which refused every name that does not decode or fit.
    char16_t decoded[ENTRY_NAME_CAPACITY];
    size_t units = 0;
    if (DecodeEntryName(name, entry.nameLength, entry.flags, decoded, &units) != NameProblem::None)
        return Fail(ERROR_BAD_PATHNAME);
    bool folderEntry = IsFolderEntryName(decoded, units);
    TStrStatic<MAX_PATH> relative;
    if (relative.Assign(reinterpret_cast<const wchar_t*>(decoded)) != units)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    relative.Replace(L'/', L'\\');
    if (!IsSafeEntryName(relative))
        return Fail(ERROR_BAD_PATHNAME);
    TStrStatic<MAX_PATH> path;
    if (path.Format(L"%s\\%s", m_folder.GetString(), relative.GetString()) <= 0)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    if (!IsPathBelow(path, m_folder))
        return Fail(ERROR_BAD_PATHNAME);
    // A folder entry makes its folder; a file the folder it lies in.
    TStrStatic<MAX_PATH> folder(path);
    folder.Truncate(static_cast<unsigned>(folder.ReverseFind(L'\\')));
    if (folder.GetLength() > MAX_FOLDER_CHARS)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    if (!folders.Check(folder) || !CreateFolderTree(folder, createdFolders))
        return FailKeeping(ERROR_CANNOT_MAKE);
    if (folderEntry)
        return true;
    // Methods, encryption and sizes were checked with the archive.

    // Recorded before the hand-over, so that a rollback finds the file once
    // the writer has created it; the writer names the slots of files it did
    // not create, and those are taken out again.
    if (!createdFiles.Add(path))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    wchar_t key[MAX_PATH];
    MakeKey(path, key);
    unsigned index = 0;
    {
        CLock lock(m_lock);
        // A free job, and none in flight that may write the same file.
        WaitUntil([&] { return m_nFreeJobs > 0 && (IsStopping() || !Collides(key)); });
        if (IsStopping()) {
            // The stop is noted; nothing more is handed over.
            createdFiles.RemoveAt(createdFiles.GetCount() - 1);
            return true;
        }
        --m_nFreeJobs;
        while (m_jobs[index].inFlight)
            ++index;
        m_jobs[index].inFlight = true;
    }
    // The file is made here, so that making the next one overlaps with
    // writing this one. A file that was there is not emptied before its
    // bytes are known good.
    TWriting& writing = m_writing[index];
    bool created = false;
    if (!m_confined.OpenForWriting(writing.file, path, &created)) {
        DWORD error = GetLastError();
        createdFiles.RemoveAt(createdFiles.GetCount() - 1); // not this run's file
        CLock lock(m_lock);
        m_jobs[index].inFlight = false;
        ++m_nFreeJobs;
        return Fail(error ? error : ERROR_WRITE_FAULT);
    }
    writing.existed = !created;
    writing.written = false;
    writing.failed = false;
    CLock lock(m_lock);
    TJob& job = m_jobs[index];
    job.entry = entry;
    memcpy(job.name, name, entry.nameLength);
    CopyText(job.path, MAX_PATH, path);
    CopyText(job.key, MAX_PATH, key);
    job.slot = createdFiles.GetCount() - 1;
    job.order = m_directory.GetIndex() - 1;
    m_queue[(m_nQueueHead + m_nQueued++) % (MAX_JOBS + MAX_INFLATERS)] = index;
    m_jobsQueued.WakeOne();
    return true;
}

bool CExtraction::Collides(const wchar_t* key)
{
    for (const TJob& job : m_jobs)
        if (job.inFlight && (!job.key[0] || !key[0] || wcscmp(job.key, key) == 0))
            return true;
    return false;
}
