// Uninstall.exe: this program's image, the licence container as it was
// shipped, and a new uninstall container holding the uninstall list and the
// uninstall flags.
//
// Uninstall list: slots of 260 UTF-16 units, each one zero-terminated path
// with zeros behind it: the program group name, the installation folder,
// then every file this run created, in order, its shortcuts included.
// Uninstall flags: whether this run made the installation folder and the
// group's folder, which the uninstaller may then remove.
#include <cstdlib>
#include <cstring>

#include "app/Globals.h"
#include "base/BinFile.h"
#include "base/KeyText.h"
#include "base/SecureBuffer.h"
#include "install/InstallWorker.h"
#include "install/Shortcuts.h"
#include "install/UninstallerImage.h"

namespace {

// The image of `program`: its first N bytes, N being the package offset in
// its DOS header.
bool ReadProgramImage(const wchar_t* program, CSecureBuffer& image)
{
    CBinFile file;
    uint8_t dosHeader[DOS_HEADER_BYTES];
    if (!file.OpenRead(program) || file.Read(dosHeader, sizeof(dosHeader)) != sizeof(dosHeader))
        return false;
    uint32_t imageBytes = 0;
    memcpy(&imageBytes, dosHeader + PACKAGE_OFFSET_FIELD, sizeof(imageBytes));
    // Checked against the file before anything is allocated.
    if (imageBytes < DOS_HEADER_BYTES || imageBytes > file.GetSize() || file.Seek(0, FILE_BEGIN) == -1 ||
        !image.Allocate(imageBytes))
        return false;
    return file.Read(image.Data(), imageBytes) == imageBytes;
}

// The group, the folder, the created files and `last` when given.
bool BuildUninstallList(const CPathList& createdFiles, const wchar_t* last, CSecureBuffer& list)
{
    uint64_t slots = static_cast<uint64_t>(createdFiles.GetCount()) + (last ? 3 : 2);
    uint64_t bytes = slots * UNINSTALL_SLOT_BYTES;
    if (bytes > 0xFFFFFFFFu || !list.Allocate(static_cast<size_t>(bytes)))
        return false;
    memset(list.Data(), 0, list.Size());
    auto* slot = reinterpret_cast<wchar_t*>(list.Data());
    CopyText(slot, UNINSTALL_SLOT_CHARS, ProgramGroup);
    CopyText(slot + UNINSTALL_SLOT_CHARS, UNINSTALL_SLOT_CHARS, InstallFolder);
    for (unsigned i = 0; i < createdFiles.GetCount(); ++i)
        CopyText(slot + (i + 2) * UNINSTALL_SLOT_CHARS, UNINSTALL_SLOT_CHARS, createdFiles[i]);
    if (last)
        CopyText(slot + (slots - 1) * UNINSTALL_SLOT_CHARS, UNINSTALL_SLOT_CHARS, last);
    return true;
}

} // namespace

bool CInstallWorker::CreateUninstaller()
{
    const CTermLicContainer* license = Package.m_pLicense;
    if (!license)
        return false;
    // The uninstaller's own shortcut, made after the uninstaller, is in its
    // list already; the created files get it once it is written.
    TStrStatic<MAX_PATH> shortcut;
    bool haveShortcut = shortcut.Format(L"%s\\Uninstall.lnk", ProgramGroupPath.GetString()) > 0;
    CTermUninstContainer uninstall;
    uninstall.Init(CONTAINER_UNINSTALL);
    uint32_t flags = 0;
    if (m_bFolderCreated)
        flags |= UNINSTALL_CREATED_FOLDER;
    if (m_bGroupCreated)
        flags |= UNINSTALL_CREATED_GROUP;
    uint8_t flagBytes[UNINSTALL_FLAGS_BYTES];
    memcpy(flagBytes, &flags, sizeof(flagBytes)); // little-endian, as the package is
    CSecureBuffer list, image;
    if (!BuildUninstallList(CreatedFiles, haveShortcut ? shortcut.GetString() : nullptr, list) ||
        !uninstall.AddRecord(RECORD_UNINSTALL_LIST, list.Data(), static_cast<uint32_t>(list.Size())) ||
        !uninstall.AddRecord(RECORD_UNINSTALL_FLAGS, flagBytes, sizeof(flagBytes)) ||
        !ReadProgramImage(m_sourceProgram, image))
        return false;
    // A vendor's signature of the installer does not cover the uninstaller.
    RemoveImageSignature(image.Data(), image.Size());

    TStrStatic<MAX_PATH> path;
    if (path.Format(L"%s\\Uninstall.exe", InstallFolder.GetString()) <= 0)
        return false;
    CBinFile file;
    if (!file.OpenWrite(path) || file.Write(image.Data(), static_cast<unsigned>(image.Size())) != image.Size() ||
        !license->Write(file) || !uninstall.Write(file))
        return false; // a partly written file stays
    file.Close();

    RegisterUninstaller(path);
    // Icon index 1: the program's second icon group, the uninstaller's.
    if (haveShortcut && CreateShortcut(InstallFolder, path, shortcut, L"", L"", path, 1))
        CreatedFiles.Add(shortcut.GetString());
    return true;
}
