#include "archive/Extract.h"

#include <cwchar>
#include <initializer_list>

#include "archive/Extraction.h"
#include "archive/ZipDirectory.h"
#include "base/FileSystem.h"
#include "package/InstallPackage.h"

namespace {

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

bool GetArchiveTotals(const TArchiveSpan& span, uint64_t* bytes, uint64_t* entries)
{
    CArchiveReader reader;
    CZipDirectory directory;
    uint64_t total = 0;
    if (!reader.Open(span) || !directory.Open(reader) || !directory.SumSizes(&total))
        return false;
    if (bytes)
        *bytes = total;
    if (entries)
        *entries = directory.Get().entries;
    return true;
}

bool ExtractArchive(const TArchiveSpan& span, const wchar_t* installFolder, CPathList& createdFiles,
                    CExtractObserver* observer, CPathList* createdFolders)
{
    CExtraction extraction;
    return extraction.Run(span, installFolder, createdFiles, observer, createdFolders);
}

namespace {

bool ExtractContainerArchive(const InstallPackage& package, const CDCContainer* container,
                             const wchar_t* installFolder, CPathList& createdFiles, CExtractObserver* observer,
                             CPathList* createdFolders)
{
    TArchiveSpan span;
    if (!GetArchiveSpan(package, container, span)) {
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    return ExtractArchive(span, installFolder, createdFiles, observer, createdFolders);
}

} // namespace

bool ExtractSetupArchive(const InstallPackage& package, const wchar_t* installFolder, CPathList& createdFiles,
                         CExtractObserver* observer, CPathList* createdFolders)
{
    return ExtractContainerArchive(package, package.m_pCore, installFolder, createdFiles, observer, createdFolders);
}

bool ExtractCustomArchive(const InstallPackage& package, const wchar_t* installFolder, CPathList& createdFiles,
                          CExtractObserver* observer, CPathList* createdFolders)
{
    return !package.m_pCustom ||
           ExtractContainerArchive(package, package.m_pCustom, installFolder, createdFiles, observer, createdFolders);
}

bool GetInstalledBytes(const InstallPackage& package, uint64_t* bytes)
{
    uint64_t total = 0;
    for (const CDCContainer* container : {static_cast<const CDCContainer*>(package.m_pCore),
                                          static_cast<const CDCContainer*>(package.m_pCustom)}) {
        TArchiveSpan span;
        uint64_t archive = 0;
        if (!container)
            continue;
        if (!GetArchiveSpan(package, container, span) || !GetArchiveTotals(span, &archive, nullptr))
            return false;
        total += archive;
    }
    if (bytes)
        *bytes = total;
    return true;
}
