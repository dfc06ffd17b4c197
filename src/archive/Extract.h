// Turning package records into files: an archive record is written to a
// temporary ZIP file and every entry extracted below the installation folder,
// each destination recorded before its file is written (so that a failed
// installation can be rolled back).
#pragma once

#include "base/Array.h"

class InstallPackage;

using CPathList = TStrArray<wchar_t[260], 16>;

// Extracts every entry of the archive at `zipPath` below `installFolder`.
// True only when every entry of the end record was handled. An entry whose
// name would lead out of the folder, or whose size cannot be held, fails the
// extraction before anything is written for it; entries before it stay.
bool ExtractArchive(const wchar_t* zipPath, const wchar_t* installFolder, CPathList& createdFiles);

// The core container's archive, through "<folder>\setup.zip".
bool ExtractSetupArchive(const InstallPackage& package, const wchar_t* installFolder,
                         CPathList& createdFiles);
// The custom container's archive, through "<folder>\custom.zip"; true at once
// without a custom container.
bool ExtractCustomArchive(const InstallPackage& package, const wchar_t* installFolder,
                          CPathList& createdFiles);

// Whether an entry name (slashes already turned into backslashes) stays
// inside the folder it is extracted to (see IsRelativeInside) and names no
// device (CON, NUL, COM1, ...).
bool IsSafeEntryName(const wchar_t* name);
