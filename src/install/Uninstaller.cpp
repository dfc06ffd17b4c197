// Uninstall.exe: this program's image, the licence container as it was
// shipped, and a new uninstall container holding the uninstall list and the
// uninstall flags.
//
// Uninstall list: slots of 260 UTF-16 units, each one zero-terminated path
// with zeros behind it: the program group name, the installation folder,
// then every file this run created, in order, its shortcuts included, and
// last the folders the extraction made, each ending in a backslash (an
// empty folder of the product leaves no file to note it by).
// Uninstall flags: whether this run made the installation folder and the
// group's folder, which the uninstaller may then remove.
#include <cstdlib>
#include <cstring>

#include "base/BinFile.h"
#include "base/ConfinedFolder.h"
#include "base/FileSystem.h"
#include "base/SecureBuffer.h"
#include "install/InstallEngine.h"
#include "install/Registration.h"
#include "install/Shortcuts.h"
#include "install/UninstallerImage.h"
#include "package/ContainerWriter.h"
#include "package/InstallPackage.h"
#include "package/UninstallList.h"

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

const char16_t* Units(const wchar_t* text)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "paths are UTF-16");
    return reinterpret_cast<const char16_t*>(text);
}

// Slots go to the file a piece at a time: the list of a large product is
// hundreds of megabytes, too much to hold a second time.
const unsigned SLOTS_PER_PIECE = 128;

// The uninstall list (the group, the folder, the created files, `last`
// when given, and the created folders) and the flags, as the uninstall
// container.
bool WriteUninstallContainer(CBinFile& file, const wchar_t* group, const wchar_t* folder,
                             const CPathList& createdFiles, const wchar_t* last, const CPathList& createdFolders,
                             uint32_t flags)
{
    const size_t fileSlots = static_cast<size_t>(createdFiles.GetCount()) + (last ? 1 : 0);
    size_t files = fileSlots + createdFolders.GetCount();
    uint32_t listBytes = 0;
    CSecureBuffer piece;
    if (!GetUninstallListBytes(files, &listBytes) || !piece.Allocate(SLOTS_PER_PIECE * UNINSTALL_SLOT_BYTES))
        return false;
    CContainerWriter writer(file);
    if (!writer.Begin(CONTAINER_UNINSTALL, 2) || !writer.BeginRecord(RECORD_UNINSTALL_LIST, listBytes))
        return false;
    size_t slots = UNINSTALL_FIRST_FILE_SLOT + files;
    unsigned filled = 0;
    for (size_t slot = 0; slot < slots; ++slot) {
        size_t index = slot - UNINSTALL_FIRST_FILE_SLOT;
        TStrStatic<UNINSTALL_SLOT_CHARS> listed;
        if (slot == UNINSTALL_GROUP_SLOT)
            listed.Assign(group);
        else if (slot == UNINSTALL_FOLDER_SLOT)
            listed.Assign(folder);
        else if (index < createdFiles.GetCount())
            listed.Assign(createdFiles[static_cast<unsigned>(index)]);
        else if (index < fileSlots)
            listed.Assign(last);
        else if (listed.Format(L"%s\\", createdFolders[static_cast<unsigned>(index - fileSlots)]) <= 0)
            return false; // a made folder is shorter than any path
        FormatUninstallSlot(Units(listed), piece.Data() + filled * UNINSTALL_SLOT_BYTES);
        if (++filled == SLOTS_PER_PIECE || slot + 1 == slots) {
            if (!writer.WritePiece(piece.Data(), filled * UNINSTALL_SLOT_BYTES))
                return false;
            filled = 0;
        }
    }
    uint8_t flagBytes[UNINSTALL_FLAGS_BYTES];
    memcpy(flagBytes, &flags, sizeof(flagBytes)); // little-endian, as the package is
    return writer.BeginRecord(RECORD_UNINSTALL_FLAGS, sizeof(flagBytes)) &&
           writer.WritePiece(flagBytes, sizeof(flagBytes)) && writer.End();
}

} // namespace

bool CInstallEngine::CreateUninstaller()
{
    const CTermLicContainer* license = m_package.m_pLicense;
    if (!license)
        return false;
    // The uninstaller's own shortcut, made after the uninstaller, is in its
    // list already; the created files get it once it is written.
    TStrStatic<MAX_PATH> shortcut;
    bool haveShortcut = shortcut.Format(L"%s\\Uninstall.lnk", m_groupPath.GetString()) > 0;
    uint32_t flags = 0;
    if (m_bFolderCreated)
        flags |= UNINSTALL_CREATED_FOLDER;
    if (m_bGroupCreated)
        flags |= UNINSTALL_CREATED_GROUP;
    CSecureBuffer image;
    if (!ReadProgramImage(m_sourceProgram, image))
        return false;
    // A vendor's signature of the installer does not cover the uninstaller.
    RemoveImageSignature(image.Data(), image.Size());

    TStrStatic<MAX_PATH> path;
    if (path.Format(L"%s\\Uninstall.exe", m_settings.folder.GetString()) <= 0)
        return false;
    // Written like the program files: a new file, inside the folder as the
    // file system resolves it, never through a link or into another name
    // of a linked file.
    CConfinedFolder confined;
    CBinFile file;
    if (!confined.Init(m_settings.folder) || !SetAsideUninstaller(path) || !confined.OpenWrite(file, path))
        return false;
    m_uninstaller.Assign(path);
    if (file.Write(image.Data(), static_cast<unsigned>(image.Size())) != image.Size() || !license->Write(file) ||
        !WriteUninstallContainer(file, m_settings.group, m_settings.folder, m_createdFiles,
                                 haveShortcut ? shortcut.GetString() : nullptr, m_createdFolders, flags))
        return false; // the rollback deletes the part written
    uint64_t uninstallerBytes = file.GetSize();
    file.Close();

    TStrStatic<64> version;
    TStrStatic<MAX_PATH> link;
    license->GetConfigValue(L"product_version=", version);
    license->GetConfigValue(L"company_link=", link);
    TUninstallEntry entry = {path, m_mainProgram, m_settings.folder, version, link,
                             m_installedBytes + uninstallerBytes};
    m_registration.Capture();
    RegisterUninstaller(entry);
    // Icon index 1: the program's second icon group, the uninstaller's.
    if (haveShortcut && CreateShortcut(m_settings.folder, path, shortcut, L"", L"", path, 1))
        m_createdFiles.Add(shortcut.GetString());
    return true;
}

bool CInstallEngine::SetAsideUninstaller(const wchar_t* path)
{
    return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES || MoveToFreeName(path, L"old", m_uninstallerAside);
}

void CInstallEngine::RollBackUninstaller()
{
    if (!m_uninstaller.IsEmpty()) {
        m_registration.Restore();
        if (!DeleteFileW(m_uninstaller) && GetFileAttributesW(m_uninstaller) != INVALID_FILE_ATTRIBUTES)
            DeleteAtRestart(m_uninstaller);
        m_uninstaller.Assign(L"");
    }
    if (!m_uninstallerAside.IsEmpty()) {
        TStrStatic<MAX_PATH> path;
        if (path.Format(L"%s\\Uninstall.exe", m_settings.folder.GetString()) > 0)
            MoveFileExW(m_uninstallerAside, path, 0);
        m_uninstallerAside.Assign(L"");
    }
}
