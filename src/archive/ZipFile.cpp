#include "archive/ZipFile.h"

#include <windows.h>

#include <cstring>

#include "base/KeyText.h"
#include "base/Str.h"
#include "unzip.h"

namespace {

// minizip's file functions over the archive's own CBinFile, read through a
// window. The path travels through minizip's narrow-string argument
// untouched.
voidpf ZCALLBACK OpenFile(voidpf opaque, const char* path, int)
{
    auto* reader = static_cast<CReadAhead*>(opaque);
    // Read and write access, as the archive files are the installer's own.
    // Deleting is shared: a temporary archive is opened to be deleted when
    // its writer closes it.
    if (!reader->File().Open(reinterpret_cast<const wchar_t*>(path), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL))
        return nullptr;
    reader->Reset();
    return reader;
}

uLong ZCALLBACK ReadFileData(voidpf, voidpf stream, void* buffer, uLong size)
{
    return static_cast<CReadAhead*>(stream)->Read(buffer, size);
}

uLong ZCALLBACK WriteFileData(voidpf, voidpf, const void*, uLong)
{
    return 0; // archives are never written
}

long ZCALLBACK TellFile(voidpf, voidpf stream)
{
    int64_t position = static_cast<CReadAhead*>(stream)->GetPosition();
    // Only the low 32 bits of positions are used.
    return position < 0 || position > 0x7FFFFFFF ? -1 : static_cast<long>(position);
}

long ZCALLBACK SeekFile(voidpf, voidpf stream, uLong offset, int origin)
{
    DWORD method = origin == ZLIB_FILEFUNC_SEEK_CUR ? FILE_CURRENT
                   : origin == ZLIB_FILEFUNC_SEEK_END ? FILE_END
                                                      : FILE_BEGIN;
    int64_t distance = origin == ZLIB_FILEFUNC_SEEK_SET ? static_cast<int64_t>(offset)
                                                        : static_cast<int64_t>(static_cast<long>(offset));
    return static_cast<CReadAhead*>(stream)->Seek(distance, method) < 0 ? -1 : 0;
}

int ZCALLBACK CloseFile(voidpf, voidpf stream)
{
    auto* reader = static_cast<CReadAhead*>(stream);
    bool closed = reader->File().Close();
    reader->Reset();
    return closed ? 0 : -1;
}

int ZCALLBACK TestError(voidpf, voidpf)
{
    return 0;
}

const unsigned MAX_PATH_CHARS = 256;
const unsigned NAME_BYTES = 256;

} // namespace

CZipFile::~CZipFile()
{
    CloseArchive();
}

bool CZipFile::OpenArchive(const wchar_t* path)
{
    CloseArchive();
    // A longer path is refused, not cut: cut, it could name another file.
    TStrStatic<MAX_PATH_CHARS> archivePath;
    if (!path || !*path || archivePath.Format(L"%s", path) <= 0) {
        SetLastError(path && *path ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_PARAMETER);
        return false;
    }
    zlib_filefunc_def functions = {OpenFile, ReadFileData, WriteFileData, TellFile, SeekFile,
                                   CloseFile, TestError, &m_reader};
    // A file that cannot be opened keeps the system's reason; any failure
    // after that lies in the archive's structure.
    if (!OpenFile(&m_reader, reinterpret_cast<const char*>(archivePath.GetString()), 0))
        return false;
    CloseFile(nullptr, &m_reader);
    return OpenWith(reinterpret_cast<const char*>(archivePath.GetString()), functions);
}

bool CZipFile::OpenArchive(const uint8_t* data, uint32_t size)
{
    CloseArchive();
    if (!data || !size) {
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    m_memory.data = data;
    m_memory.size = size;
    zlib_filefunc_def functions = MemoryArchiveFunctions(m_memory);
    return OpenWith("", functions);
}

bool CZipFile::OpenWith(const char* name, zlib_filefunc_def& functions)
{
    m_hZip = unzOpen2(name, &functions);
    unz_global_info global;
    if (!m_hZip || unzGetGlobalInfo(m_hZip, &global) != UNZ_OK) {
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    m_nEntries = static_cast<uint32_t>(global.number_entry);
    if (!GoToFirstEntry()) {
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    return true;
}

bool CZipFile::GoToFirstEntry()
{
    m_nIndex = 0;
    return m_hZip && unzGoToFirstFile(m_hZip) == UNZ_OK;
}

bool CZipFile::GoToNextEntry()
{
    if (!m_hZip || unzGoToNextFile(m_hZip) != UNZ_OK)
        return false;
    ++m_nIndex;
    return true;
}

bool CZipFile::GetEntryInfo(ZipEntryInfo* info, wchar_t* name, unsigned nameChars)
{
    if (!m_hZip || !info)
        return false;
    unz_file_info raw;
    char stored[NAME_BYTES + 1];
    if (unzGetCurrentFileInfo(m_hZip, &raw, stored, NAME_BYTES, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    stored[raw.size_filename < NAME_BYTES ? raw.size_filename : NAME_BYTES] = 0;
    *info = {static_cast<uint32_t>(raw.version),
             static_cast<uint32_t>(raw.version_needed),
             static_cast<uint32_t>(raw.flag),
             static_cast<uint32_t>(raw.compression_method),
             static_cast<uint32_t>(raw.dosDate),
             static_cast<uint32_t>(raw.crc),
             static_cast<uint32_t>(raw.compressed_size),
             static_cast<uint32_t>(raw.uncompressed_size),
             static_cast<uint32_t>(raw.size_filename),
             static_cast<uint32_t>(raw.size_file_extra),
             static_cast<uint32_t>(raw.size_file_comment),
             static_cast<uint32_t>(raw.disk_num_start),
             static_cast<uint32_t>(raw.internal_fa),
             static_cast<uint32_t>(raw.external_fa)};
    if (name && nameChars) {
        wchar_t wide[NAME_BYTES + 1];
        int length = MultiByteToWideChar(CP_ACP, 0, stored, -1, wide, NAME_BYTES + 1);
        if (length <= 0)
            wide[0] = 0;
        wide[MAX_PATH_CHARS - 1] = 0; // a converted name keeps at most 255 characters
        CopyText(name, nameChars, wide);
        if (nameChars == 1)
            name[0] = 0;
    }
    return true;
}

bool CZipFile::OpenEntry()
{
    if (!m_hZip)
        return false;
    CloseEntry();
    // minizip would hand out the raw bytes of a bzip2 entry; only stored and
    // deflated entries can be read.
    unz_file_info raw;
    if (unzGetCurrentFileInfo(m_hZip, &raw, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
        (raw.compression_method != 0 && raw.compression_method != Z_DEFLATED))
        return false;
    m_bEntryOpen = unzOpenCurrentFile(m_hZip) == UNZ_OK;
    return m_bEntryOpen;
}

unsigned CZipFile::ReadEntry(void* buffer, unsigned bytes)
{
    if (!m_hZip || !m_bEntryOpen || !buffer || !bytes)
        return 0;
    int produced = unzReadCurrentFile(m_hZip, buffer, bytes);
    return produced > 0 ? static_cast<unsigned>(produced) : 0;
}

bool CZipFile::CloseEntry()
{
    if (!m_hZip || !m_bEntryOpen)
        return false;
    m_bEntryOpen = false;
    return unzCloseCurrentFile(m_hZip) == UNZ_OK;
}

void CZipFile::CloseArchive()
{
    CloseEntry();
    if (m_hZip)
        unzClose(m_hZip); // closes the file through CloseFile
    m_hZip = nullptr;
    m_nEntries = 0;
    m_nIndex = 0;
    Close();
}
