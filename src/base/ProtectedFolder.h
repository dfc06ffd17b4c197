// Folders the elevated setup program makes for itself. A folder inherits
// the access list of its parent unless it is given one of its own, and the
// parent (a drive root, a user's temporary folder) may let other users write
// into it: files placed there could then be swapped by them before they are
// used with administrator rights.
#pragma once

#include <windows.h>

enum class FolderAccess {
    AdminsOnly, // administrators and the system; no one else may even read
    UsersRead,  // the same, and users may read and run what it holds
};

// A protected access list of that kind, as security attributes for
// creating folders and files. Owns the descriptor the system allocates.
class CProtectedDescriptor {
public:
    CProtectedDescriptor() = default;
    ~CProtectedDescriptor();
    CProtectedDescriptor(const CProtectedDescriptor&) = delete;
    CProtectedDescriptor& operator=(const CProtectedDescriptor&) = delete;

    bool Build(FolderAccess access);
    // Null until built.
    SECURITY_ATTRIBUTES* Attributes() { return m_attributes.lpSecurityDescriptor ? &m_attributes : nullptr; }
    PSECURITY_DESCRIPTOR Get() const { return m_attributes.lpSecurityDescriptor; }

private:
    SECURITY_ATTRIBUTES m_attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// Creates `path` (its parent must exist) with a protected access list that
// only administrators and the system may change; files and folders created
// in it later inherit that list. Fails when `path` already exists
// (ERROR_ALREADY_EXISTS), so a folder someone else made first is never
// taken for one's own.
bool CreateProtectedFolder(const wchar_t* path, FolderAccess access);

class CPathList;

// Creates every missing folder of `path`, left to right, each as
// CreateProtectedFolder does: a folder made above the installation folder
// must not hand other users the right to rename it, as a folder inheriting
// a drive root's list would. Folders that exist are left as they are.
// Each folder made is added to `created`, parents first.
bool CreateProtectedFolderTree(const wchar_t* path, FolderAccess access, CPathList& created);
