// Whether users without administrator rights can change an existing folder.
// Files the elevated program installs there, and later starts, could then be
// replaced by them.
#pragma once

#include <windows.h>

class CStr;

// Whether a security descriptor lets anyone but the administrators, the
// system and the installer service change what it guards: an owner who is
// someone else (an owner may always rewrite the access list), no access list
// at all, or an entry that applies to the object itself and grants another
// account a right to write, append, delete or change the access list or the
// owner. Denying entries are not weighed: in doubt, the folder counts as
// changeable.
bool LetsNonAdminsChange(PSECURITY_DESCRIPTOR descriptor);

// The same for an existing folder; true also when its descriptor cannot be
// read, as nothing then speaks for the folder.
bool IsFolderChangeableByNonAdmins(const wchar_t* folder);

// Whether anyone but the administrators, the system and the installer
// service could rename or delete an entry whose own descriptor is `entry`,
// lying in a folder whose descriptor is `parent`: a right to delete the
// entry, or to delete the folder's children, or a way to grant oneself
// either (being the owner, changing the access list or the owner, generic
// all) on one of them. Such a user can put something else in its place.
bool LetsNonAdminsMove(PSECURITY_DESCRIPTOR entry, PSECURITY_DESCRIPTOR parent);

// The same for an existing path and every folder above it, up to its drive
// root or share, or up to the deepest of the system's own folders it lies
// in (Windows, its temporary folder, the program files folders, the common
// application data), which are the system's to guard: true when any of them
// could be renamed or deleted by someone else, or a descriptor cannot be
// read. A component that does not exist ends the walk (nothing below it
// exists either). `where`, when given, receives the first such component.
bool IsPathMovableByNonAdmins(const wchar_t* path, CStr* where = nullptr);

// The length of the deepest of the system's own folders above that `path`
// lies in or equals (its drive root or share at least); 0 when `path` is no
// absolute path of either kind.
unsigned GetSystemFolderLength(const wchar_t* path);
