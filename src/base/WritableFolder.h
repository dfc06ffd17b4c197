// Whether users without administrator rights can change an existing folder.
// Files the elevated program installs there, and later starts, could then be
// replaced by them.
#pragma once

#include <windows.h>

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
