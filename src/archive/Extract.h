// Turning package records into files: an archive record is written to a
// temporary ZIP file and every entry extracted below the installation folder,
// each destination recorded when its file is handed over to be written and
// kept only when this run created or emptied it (so that a failed
// installation can be rolled back without touching files of others). No
// file is written, and no folder made, through a link below the installation
// folder's parent.
#pragma once

#include "base/PathList.h"

class InstallPackage;

// Extracts every entry of the archive at `zipPath` below `installFolder`.
// True only when every entry of the end record was handled. An entry whose
// name would lead out of the folder or is too long, whose size cannot be held
// or whose method is not supported fails the extraction before anything is
// written for it; entries before it stay. Every failure leaves its reason as
// the thread's error code.
bool ExtractArchive(const wchar_t* zipPath, const wchar_t* installFolder, CPathList& createdFiles);

// The core container's archive, through a temporary "<folder>\setup.zip"
// (or "setup-N.zip" when that name is taken) that only administrators may
// open.
bool ExtractSetupArchive(const InstallPackage& package, const wchar_t* installFolder,
                         CPathList& createdFiles);
// The custom container's archive, through "<folder>\custom.zip" in the same
// way; true at once without a custom container.
bool ExtractCustomArchive(const InstallPackage& package, const wchar_t* installFolder,
                          CPathList& createdFiles);

// Whether an entry name (slashes already turned into backslashes) stays
// inside the folder it is extracted to (see IsRelativeInside) and names no
// device (CON, NUL, COM1, COM\u00B9, ...).
bool IsSafeEntryName(const wchar_t* name);
