// Turning program archives into files. The archive is read where it lies,
// in the installer file, and every entry extracted below the installation
// folder: entries are inflated on every core, through a fixed window of
// memory, while one writer creates the files one after the other. Each
// destination is recorded, in archive order, when its entry is handed over
// to be written, and kept only when this run created or emptied the file
// (so that a failed installation can be rolled back without touching files
// of others). No file is written, and no folder made, through a link below
// the installation folder's parent.
#pragma once

#include <cstdint>

#include "archive/ArchiveSource.h"
#include "base/PathList.h"

class InstallPackage;

// What the caller of an extraction is asked on its thread while it runs.
class CExtractObserver {
public:
    virtual ~CExtractObserver() = default;
    // Whether to stop: looked at between the pieces of every file, so that
    // a stop takes effect within moments, whatever the product's size.
    virtual bool IsCancelled() = 0;
    // Bytes written so far of all the archive's files hold.
    virtual void Progress(uint64_t done, uint64_t total) = 0;
};

// What an archive holds, from its central directory: the bytes of its
// files (what they take on disk, before the file system's own share) and
// its entries. False with the reason when the directory does not read.
bool GetArchiveTotals(const TArchiveSpan& span, uint64_t* bytes, uint64_t* entries);

// Extracts every entry of the archive in `span` below `installFolder`.
// True only when every entry of the central directory was written. An
// entry whose name would lead out of the folder or is too long, or whose
// method is not supported, fails the extraction before anything is written
// for it; entries before it stay, and some after it may be written already
// (and recorded). A stop request fails it with ERROR_CANCELLED. Every
// failure leaves its reason as the thread's error code: that of the
// earliest entry that failed. Folders the extraction made are added to
// `createdFolders` when given, parents first.
bool ExtractArchive(const TArchiveSpan& span, const wchar_t* installFolder, CPathList& createdFiles,
                    CExtractObserver* observer = nullptr, CPathList* createdFolders = nullptr);

// The core container's archive, read from the installer file.
bool ExtractSetupArchive(const InstallPackage& package, const wchar_t* installFolder, CPathList& createdFiles,
                         CExtractObserver* observer = nullptr, CPathList* createdFolders = nullptr);
// The custom container's archive likewise; true at once without a custom
// container.
bool ExtractCustomArchive(const InstallPackage& package, const wchar_t* installFolder, CPathList& createdFiles,
                          CExtractObserver* observer = nullptr, CPathList* createdFolders = nullptr);

// What the installation's files take: the core and custom archives' file
// bytes together. False when an archive's directory does not read.
bool GetInstalledBytes(const InstallPackage& package, uint64_t* bytes);

// Whether an entry name (slashes already turned into backslashes) stays
// inside the folder it is extracted to (see IsRelativeInside) and names no
// device (CON, NUL, COM1, COM\u00B9, ...).
bool IsSafeEntryName(const wchar_t* name);
