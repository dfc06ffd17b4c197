#include "archive/Extract.h"

#include <cstdlib>
#include <cwchar>

#include "archive/EntryWriter.h"
#include "archive/ZipFile.h"
#include "base/FileSystem.h"
#include "base/Str.h"
#include "package/InstallPackage.h"

namespace {

// Two threads write files: one waits on the file system to create a file
// while the other copies bytes into another.
const unsigned ENTRY_WRITERS = 2;

// Larger entries cannot be held in a 32-bit process; asking for the size
// plus two bytes must not wrap around.
const uint32_t MAX_ENTRY_BYTES = 0x7FFFFFF0;

// Names that open a device rather than a file, whatever extension follows.
const wchar_t* const DEVICE_NAMES[] = {
    L"CON", L"PRN", L"AUX", L"NUL", L"COM1", L"COM2", L"COM3", L"COM4", L"COM5", L"COM6",
    L"COM7", L"COM8", L"COM9", L"LPT1", L"LPT2", L"LPT3", L"LPT4", L"LPT5", L"LPT6", L"LPT7",
    L"LPT8", L"LPT9", L"CONIN$", L"CONOUT$",
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

bool IsUnder(const wchar_t* path, const wchar_t* folder)
{
    size_t length = wcslen(folder);
    return length > 0 && _wcsnicmp(path, folder, length) == 0 && path[length] == L'\\' && path[length + 1];
}

// Writes an archive record to `zipName` in the folder, extracts it and
// deletes the temporary file, whatever the extraction gave.
bool ExtractRecord(const CDCContainer* container, const wchar_t* zipName, const wchar_t* installFolder,
                   CPathList& createdFiles)
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!container || !container->FindRecord(RECORD_ARCHIVE, &data, &size))
        return false;
    TStrStatic<MAX_PATH> zipPath;
    if (zipPath.Format(L"%s\\%s", installFolder, zipName) <= 0)
        return false;
    CBinFile file;
    if (!file.OpenWrite(zipPath) || file.Write(data, size) != size)
        return false; // a partly written file stays
    file.Close();
    bool extracted = ExtractArchive(zipPath, installFolder, createdFiles);
    // The worker reports the extraction's error code, not the clean-up's.
    DWORD error = GetLastError();
    DeleteFileW(zipPath);
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
// on the reading side.
bool ReadEntries(CZipFile& zip, const wchar_t* installFolder, CPathList& createdFiles, CEntryWriter& writer)
{
    uint32_t visited = 0;
    do {
        ++visited;
        ZipEntryInfo info;
        TStrStatic<MAX_PATH> name;
        if (!zip.GetEntryInfo(&info, name.GetBuffer(), name.GetCapacity()))
            continue; // an entry that cannot be read is skipped
        name.UpdateLength();
        name.Replace(L'/', L'\\');
        TStrStatic<MAX_PATH> path;
        path.Format(L"%s\\%s", installFolder, name.GetString());
        if (!IsSafeEntryName(name) || !IsUnder(path, installFolder))
            return false;

        TStrStatic<MAX_PATH> folder(path);
        int slash = folder.ReverseFind(L'\\');
        if (slash >= 0) {
            folder.Truncate(static_cast<unsigned>(slash));
            CreateFolderTree(folder);
        }
        uint32_t size = info.uncompressedSize;
        if (size == 0)
            continue; // folders and empty files: nothing is written or recorded
        if (size > MAX_ENTRY_BYTES)
            return false;

        // Recorded before anything is written, so that a rollback finds it.
        if (!createdFiles.Add(path.GetString()) || !zip.OpenEntry())
            return false;
        uint8_t* buffer = nullptr;
        if (!writer.GetBuffer(size + 2, &buffer) || zip.ReadEntry(buffer, size) != size)
            return false;
        // A CRC mismatch means damaged bytes: they are not written, and the
        // installation must not report success over them.
        if (!zip.CloseEntry()) {
            createdFiles.RemoveAt(createdFiles.GetCount() - 1);
            SetLastError(ERROR_CRC);
            return false;
        }
        if (!writer.Submit(path, size, createdFiles.GetCount() - 1)) {
            // Never handed over, so never written.
            createdFiles.RemoveAt(createdFiles.GetCount() - 1);
            return false;
        }
    } while (zip.GoToNextEntry());
    // Every entry of the end record must have been visited: a central header
    // that cannot be read ends the walk early.
    return visited == zip.GetEntryCount();
}

} // namespace

bool ExtractArchive(const wchar_t* zipPath, const wchar_t* installFolder, CPathList& createdFiles)
{
    CZipFile zip;
    if (!installFolder || !zip.OpenArchive(zipPath) || !zip.GoToFirstEntry())
        return false;
    CEntryWriter writer(ENTRY_WRITERS);
    bool read = ReadEntries(zip, installFolder, createdFiles, writer);
    DWORD error = GetLastError();
    // What was handed over is written before the result stands, as a serial
    // loop would have written it before reading on.
    if (!writer.Finish()) {
        const TArray<unsigned, 16>& unwritten = writer.GetUnwrittenSlots();
        for (unsigned i = 0; i < unwritten.GetCount(); ++i)
            createdFiles.RemoveAt(unwritten[i]);
        return false;
    }
    SetLastError(error);
    return read;
}

bool ExtractSetupArchive(const InstallPackage& package, const wchar_t* installFolder,
                         CPathList& createdFiles)
{
    return ExtractRecord(package.m_pCore, L"setup.zip", installFolder, createdFiles);
}

bool ExtractCustomArchive(const InstallPackage& package, const wchar_t* installFolder,
                          CPathList& createdFiles)
{
    if (!package.m_pCustom)
        return true;
    return ExtractRecord(package.m_pCustom, L"custom.zip", installFolder, createdFiles);
}
