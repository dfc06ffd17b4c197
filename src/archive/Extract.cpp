#include "archive/Extract.h"

#include <cstdlib>
#include <cwchar>

#include "archive/EntryWriter.h"
#include "archive/ZipFile.h"
#include "base/ConfinedFolder.h"
#include "base/FileSystem.h"
#include "base/LinkCheck.h"
#include "base/ProtectedFolder.h"
#include "base/Str.h"
#include "package/InstallPackage.h"

namespace {

// Two threads write files: one waits on the file system to create a file
// while the other copies bytes into another.
const unsigned ENTRY_WRITERS = 2;

// Larger entries cannot be held in a 32-bit process; asking for the size
// plus two bytes must not wrap around.
const uint32_t MAX_ENTRY_BYTES = 0x7FFFFFF0;

// The archive reader keeps 255 characters of a name, from at most 256 bytes.
const uint32_t NAME_CHARS_KEPT = 255;

// CreateDirectoryW leaves room for an 8.3 name below a folder it creates.
const unsigned MAX_FOLDER_CHARS = MAX_PATH - 12 - 1;

// Names tried for a temporary archive when its usual name is taken.
const unsigned TEMPORARY_NAMES = 100;

// Names that open a device rather than a file, whatever extension follows;
// Windows takes the superscript digits one to three for device numbers too.
const wchar_t* const DEVICE_NAMES[] = {
    L"CON",  L"PRN",  L"AUX",  L"NUL",  L"COM1", L"COM2", L"COM3", L"COM4", L"COM5",    L"COM6",
    L"COM7", L"COM8", L"COM9", L"LPT1", L"LPT2", L"LPT3", L"LPT4", L"LPT5", L"LPT6",    L"LPT7",
    L"LPT8", L"LPT9", L"CONIN$", L"CONOUT$", L"COM\u00B9", L"COM\u00B2", L"COM\u00B3", L"LPT\u00B9",
    L"LPT\u00B2", L"LPT\u00B3",
};

bool IsDeviceName(const wchar_t* part, size_t length)
{
    size_t stem = 0;
    while (stem < length && part[stem] != L'.')
        ++stem;
    while (stem > 0 && part[stem - 1] == L' ')
        --stem;
    for (const wchar_t* device : DEVICE_NAMES)
        if (wcslen(device) == stem && _wcsnicmp(part, device, stem) == 0)
            return true;
    return false;
}

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

// Writes an archive record to a temporary file "<stem>.zip" in the folder
// (another name when that one is taken: a file of the user's is never
// touched), extracts it and deletes the temporary file, whatever the
// extraction gave.
bool ExtractRecord(const CDCContainer* container, const wchar_t* stem, const wchar_t* installFolder,
                   CPathList& createdFiles)
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!container || !container->FindRecord(RECORD_ARCHIVE, &data, &size))
        return Fail(ERROR_FILE_CORRUPT);
    TStrStatic<MAX_PATH> root;
    if (!installFolder || !GetParentFolder(installFolder, root))
        return Fail(ERROR_BAD_PATHNAME);
    CConfinedFolder folder;
    if (!IsFreeOfLinks(installFolder, root) || !folder.Init(installFolder))
        return FailKeeping(ERROR_PATH_NOT_FOUND);
    // Only administrators may open it; while it is read nobody may rename or
    // replace it; it goes when its last handle closes, also after a failure.
    CProtectedDescriptor descriptor;
    if (!descriptor.Build(FolderAccess::AdminsOnly))
        return FailKeeping(ERROR_ACCESS_DENIED);
    CBinFile file;
    TStrStatic<MAX_PATH> zipPath;
    for (unsigned i = 0; !file.IsOpen(); ++i) {
        if (i == TEMPORARY_NAMES)
            return Fail(ERROR_FILE_EXISTS);
        int length = i == 0 ? zipPath.Format(L"%s\\%s.zip", installFolder, stem)
                            : zipPath.Format(L"%s\\%s-%u.zip", installFolder, stem, i);
        if (length <= 0)
            return Fail(ERROR_FILENAME_EXCED_RANGE);
        if (!file.Open(zipPath, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                       descriptor.Attributes())) {
            DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                return FailKeeping(ERROR_CANNOT_MAKE);
        }
    }
    if (!folder.Contains(file.GetHandle()))
        return false;
    if (file.Write(data, size) != size)
        return FailKeeping(ERROR_WRITE_FAULT);
    bool extracted = ExtractArchive(zipPath, installFolder, createdFiles);
    // The worker reports the extraction's error code, not the clean-up's.
    DWORD error = GetLastError();
    file.Close();
    SetLastError(error);
    return extracted;
}

} // namespace

bool IsSafeEntryName(const wchar_t* name)
{
    if (!IsRelativeInside(name))
        return false;
    for (const wchar_t* part = name; *part;) {
        size_t length = wcscspn(part, L"\\");
        if (length && IsDeviceName(part, length))
            return false;
        part += length;
        if (*part)
            ++part;
    }
    return true;
}

namespace {

// Reads every entry and hands it to the writer; false at the first failure
// on the reading side, with its reason.
bool ReadEntries(CZipFile& zip, const wchar_t* installFolder, CLinkFreeFolders& folders, CPathList& createdFiles,
                 CEntryWriter& writer)
{
    uint32_t visited = 0;
    do {
        ++visited;
        ZipEntryInfo info;
        TStrStatic<MAX_PATH> name;
        if (!zip.GetEntryInfo(&info, name.GetBuffer(), name.GetCapacity()))
            return Fail(ERROR_FILE_CORRUPT);
        name.UpdateLength();
        // A name the reader may have cut is refused: cut, it could be another's.
        if (info.nameLength > NAME_CHARS_KEPT &&
            (info.nameLength > NAME_CHARS_KEPT + 1 || name.GetLength() >= NAME_CHARS_KEPT))
            return Fail(ERROR_FILENAME_EXCED_RANGE);
        name.Replace(L'/', L'\\');
        if (!IsSafeEntryName(name))
            return Fail(ERROR_BAD_PATHNAME);
        // Folder entries too: a deep empty folder fails as a deep file would.
        TStrStatic<MAX_PATH> path;
        if (path.Format(L"%s\\%s", installFolder, name.GetString()) <= 0)
            return Fail(ERROR_FILENAME_EXCED_RANGE);
        if (!IsPathBelow(path, installFolder))
            return Fail(ERROR_BAD_PATHNAME);

        TStrStatic<MAX_PATH> folder(path);
        folder.Truncate(static_cast<unsigned>(folder.ReverseFind(L'\\')));
        if (folder.GetLength() > MAX_FOLDER_CHARS)
            return Fail(ERROR_FILENAME_EXCED_RANGE);
        if (!folders.Check(folder) || !CreateFolderTree(folder))
            return FailKeeping(ERROR_CANNOT_MAKE);
        uint32_t size = info.uncompressedSize;
        if (size == 0)
            continue; // folders and empty files: nothing is written or recorded
        if (size > MAX_ENTRY_BYTES)
            return Fail(ERROR_FILE_TOO_LARGE);

        // Stored (0) and deflated (8) entries can be read; others are not supported.
        if (!zip.OpenEntry())
            return Fail(info.compressionMethod != 0 && info.compressionMethod != 8 ? ERROR_NOT_SUPPORTED
                                                                                          : ERROR_FILE_CORRUPT);
        uint8_t* buffer = nullptr;
        if (!writer.GetBuffer(size + 2, &buffer))
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        unsigned read = zip.ReadEntry(buffer, size);
        if (read != size)
            return Fail(read == 0 ? ERROR_FILE_CORRUPT : ERROR_HANDLE_EOF);
        // A CRC mismatch means damaged bytes: they are not written, and the
        // installation must not report success over them.
        if (!zip.CloseEntry())
            return Fail(ERROR_CRC);
        // Recorded just before the hand-over, so that a rollback finds the
        // file once a writer has created it; the writer names the slots of
        // files it did not create, and those are taken out again.
        if (!createdFiles.Add(path.GetString()))
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        if (!writer.Submit(path, size, createdFiles.GetCount() - 1)) {
            // Never handed over, so never written.
            createdFiles.RemoveAt(createdFiles.GetCount() - 1);
            return FailKeeping(ERROR_WRITE_FAULT);
        }
    } while (zip.GoToNextEntry());
    // Every entry of the end record must have been visited: a central header
    // that cannot be read ends the walk early.
    return visited == zip.GetEntryCount() || Fail(ERROR_FILE_CORRUPT);
}

} // namespace

bool ExtractArchive(const wchar_t* zipPath, const wchar_t* installFolder, CPathList& createdFiles)
{
    TStrStatic<MAX_PATH> root;
    if (!installFolder || !GetParentFolder(installFolder, root))
        return Fail(ERROR_BAD_PATHNAME);
    // Links are looked for below the installation folder's parent, so that
    // the folder itself cannot be one either. Both outlive the writer.
    CLinkFreeFolders folders(root);
    CConfinedFolder confined;
    if (!folders.Check(installFolder) || !confined.Init(installFolder))
        return FailKeeping(ERROR_PATH_NOT_FOUND);
    CZipFile zip;
    if (!zip.OpenArchive(zipPath))
        return FailKeeping(ERROR_FILE_CORRUPT);
    CEntryWriter writer(ENTRY_WRITERS, &confined);
    bool read = ReadEntries(zip, installFolder, folders, createdFiles, writer);
    DWORD error = GetLastError();
    // What was handed over is written before the result stands, as a serial
    // loop would have written it before reading on.
    if (!writer.Finish()) {
        const TArray<unsigned, 16>& unwritten = writer.GetUnwrittenSlots();
        for (unsigned i = 0; i < unwritten.GetCount(); ++i)
            createdFiles.RemoveAt(unwritten[i]);
        return FailKeeping(ERROR_WRITE_FAULT);
    }
    SetLastError(error);
    return read;
}

bool ExtractSetupArchive(const InstallPackage& package, const wchar_t* installFolder,
                         CPathList& createdFiles)
{
    return ExtractRecord(package.m_pCore, L"setup", installFolder, createdFiles);
}

bool ExtractCustomArchive(const InstallPackage& package, const wchar_t* installFolder,
                          CPathList& createdFiles)
{
    if (!package.m_pCustom)
        return true;
    return ExtractRecord(package.m_pCustom, L"custom", installFolder, createdFiles);
}
