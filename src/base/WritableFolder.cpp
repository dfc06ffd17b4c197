#include "base/WritableFolder.h"

#include <aclapi.h>
#include <shlobj.h>
#include <sddl.h>

#include <cwchar>
#include <cwctype>

#include "base/Str.h"

namespace {

const ACCESS_MASK CHANGE_RIGHTS = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// Rights that let a user grant themselves any other right.
const ACCESS_MASK TAKE_RIGHTS = WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

// Administrators, the local system, and the service that owns system files.
const wchar_t* const TRUSTED_SIDS[] = {
    L"S-1-5-32-544",
    L"S-1-5-18",
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
};
// CREATOR OWNER: an inheritable entry for it becomes one for the owner of
// what is created, and the elevated program creates what it installs.
const wchar_t CREATOR_OWNER_SID[] = L"S-1-3-0";

bool IsSid(PSID sid, const wchar_t* const* known, size_t count)
{
    wchar_t* text = nullptr;
    if (!sid || !IsValidSid(sid) || !ConvertSidToStringSidW(sid, &text))
        return false;
    bool found = false;
    for (size_t i = 0; i < count; ++i)
        found = found || wcscmp(text, known[i]) == 0;
    LocalFree(text);
    return found;
}

bool IsTrusted(PSID sid)
{
    return IsSid(sid, TRUSTED_SIDS, sizeof(TRUSTED_SIDS) / sizeof(TRUSTED_SIDS[0]));
}

bool IsCreatorOwner(PSID sid)
{
    const wchar_t* const known[] = {CREATOR_OWNER_SID};
    return IsSid(sid, known, 1);
}

// One granting entry of an access list, whatever its layout.
struct TGrant {
    ACCESS_MASK mask;
    PSID sid;
    BYTE flags;
};

// Reads entry `i`. False when it cannot be read, or is of a kind not known
// here: in doubt, an entry grants everything to everyone.
bool ReadEntry(PACL list, DWORD i, bool* grants, TGrant* grant)
{
    void* entry = nullptr;
    if (!GetAce(list, i, &entry))
        return false;
    auto* header = static_cast<ACE_HEADER*>(entry);
    grant->flags = header->AceFlags;
    switch (header->AceType) {
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
        *grants = false;
        return true;
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
        // A callback entry's condition is the system's to judge at access
        // time: it may hold.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        grant->mask = allowed->Mask;
        grant->sid = &allowed->SidStart;
        break;
    }
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: {
        // The object types narrow nothing on files: the grant stands. The
        // account follows the types that are present.
        auto* allowed = static_cast<ACCESS_ALLOWED_OBJECT_ACE*>(entry);
        BYTE* sid = reinterpret_cast<BYTE*>(&allowed->ObjectType);
        if (allowed->Flags & ACE_OBJECT_TYPE_PRESENT)
            sid += sizeof(GUID);
        if (allowed->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT)
            sid += sizeof(GUID);
        if (sid + sizeof(SID) > static_cast<BYTE*>(entry) + header->AceSize)
            return false;
        grant->mask = allowed->Mask;
        grant->sid = sid;
        break;
    }
    default:
        return false;
    }
    *grants = true;
    return IsValidSid(grant->sid) != FALSE;
}

// Whether the descriptor lets someone else than the trusted accounts use
// any of `rights` on the object itself, or (with `children`) on what is
// created in it.
bool GrantsOthers(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights, bool children)
{
    if (!descriptor)
        return true;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    // An owner may always rewrite the access list.
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner || !IsTrusted(owner))
        return true;
    BOOL present = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present || !list)
        return true; // no access list: everyone may do everything
    for (DWORD i = 0; i < list->AceCount; ++i) {
        bool grants = false;
        TGrant grant = {};
        if (!ReadEntry(list, i, &grants, &grant))
            return true;
        if (!grants || !(grant.mask & rights) || IsTrusted(grant.sid))
            continue;
        bool inheritable = (grant.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) != 0;
        bool onObject = !(grant.flags & INHERIT_ONLY_ACE);
        // CREATOR OWNER means no one on the object itself, and the elevated
        // program on what it creates.
        if (IsCreatorOwner(grant.sid))
            continue;
        if (onObject || (children && inheritable))
            return true;
    }
    return false;
}

} // namespace

bool LetsNonAdminsChange(PSECURITY_DESCRIPTOR descriptor)
{
    return GrantsOthers(descriptor, CHANGE_RIGHTS, true);
}

bool LetsNonAdminsMove(PSECURITY_DESCRIPTOR entry, PSECURITY_DESCRIPTOR parent)
{
    return GrantsOthers(entry, DELETE | TAKE_RIGHTS, false) ||
           GrantsOthers(parent, FILE_DELETE_CHILD | TAKE_RIGHTS, false);
}

bool IsFolderChangeableByNonAdmins(const wchar_t* folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID owner = nullptr;
    PACL list = nullptr;
    if (!folder || GetNamedSecurityInfoW(const_cast<wchar_t*>(folder), SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                         &list, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    bool changeable = LetsNonAdminsChange(descriptor);
    LocalFree(descriptor);
    return changeable;
}

namespace {

// Owns a descriptor the system allocated for a named object.
class CNamedDescriptor {
public:
    explicit CNamedDescriptor(const wchar_t* path)
    {
        PSID owner = nullptr;
        PACL list = nullptr;
        m_status = GetNamedSecurityInfoW(const_cast<wchar_t*>(path), SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                         &list, nullptr, &m_descriptor);
    }
    ~CNamedDescriptor() { LocalFree(m_descriptor); }
    CNamedDescriptor(const CNamedDescriptor&) = delete;
    CNamedDescriptor& operator=(const CNamedDescriptor&) = delete;
    // Null when it could not be read.
    PSECURITY_DESCRIPTOR Get() const { return m_status == ERROR_SUCCESS ? m_descriptor : nullptr; }
    DWORD Status() const { return m_status; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    DWORD m_status = ERROR_INVALID_PARAMETER;
};

// The length of "X:\" or "\\server\share\"; 0 for anything else.
unsigned RootLength(const wchar_t* path)
{
    if (iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\')
        return 3;
    if (path[0] != L'\\' || path[1] != L'\\' || path[2] == L'?' || path[2] == L'.')
        return 0;
    const wchar_t* share = wcschr(path + 2, L'\\');
    if (!share || share == path + 2)
        return 0;
    const wchar_t* end = wcschr(share + 1, L'\\');
    if (end == share + 1)
        return 0;
    return end ? static_cast<unsigned>(end - path) + 1 : static_cast<unsigned>(wcslen(path));
}

// Whether `path` is `folder` or lies below it, case aside.
bool IsAtOrBelow(const wchar_t* path, const wchar_t* folder, unsigned* length)
{
    size_t n = wcslen(folder);
    while (n > 0 && folder[n - 1] == L'\\')
        --n;
    if (n == 0 || _wcsnicmp(path, folder, n) != 0 || (path[n] != 0 && path[n] != L'\\'))
        return false;
    *length = static_cast<unsigned>(n);
    return true;
}

} // namespace

unsigned GetSystemFolderLength(const wchar_t* path)
{
    if (!path)
        return 0;
    unsigned deepest = RootLength(path);
    if (deepest == 0)
        return 0;
    wchar_t folder[MAX_PATH];
    unsigned length = 0;
    static const int FOLDERS[] = {CSIDL_WINDOWS, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
                                  CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA};
    for (int csidl : FOLDERS)
        if (SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE) && IsAtOrBelow(path, folder, &length) &&
            length > deepest)
            deepest = length;
    // A 32-bit program on 64-bit Windows is shown the x86 folders only.
    DWORD chars = GetEnvironmentVariableW(L"ProgramW6432", folder, MAX_PATH);
    if (chars > 0 && chars < MAX_PATH && IsAtOrBelow(path, folder, &length) && length > deepest)
        deepest = length;
    chars = GetSystemWindowsDirectoryW(folder, MAX_PATH - 6);
    if (chars > 0 && chars < MAX_PATH - 6 && wcscat(folder, L"\\Temp") && IsAtOrBelow(path, folder, &length) &&
        length > deepest)
        deepest = length;
    return deepest;
}

bool IsPathMovableByNonAdmins(const wchar_t* path, CStr* where)
{
    if (!path)
        return true;
    unsigned root = RootLength(path);
    TStrStatic<MAX_PATH> text;
    if (root == 0 || wcslen(path) >= text.GetCapacity()) {
        if (where)
            where->Assign(path);
        return true;
    }
    text.Assign(path);
    while (text.GetLength() > root && text.GetAt(text.GetLength() - 1) == L'\\')
        text.Truncate(text.GetLength() - 1);
    // The walk starts below the system's folder, or the root.
    unsigned start = GetSystemFolderLength(text);
    if (start > root && start < text.GetLength())
        ++start; // past the backslash
    if (start >= text.GetLength())
        return false;
    TStrStatic<MAX_PATH> parent, entry;
    parent.Assign(text);
    parent.Truncate(start > root ? start - 1 : start);
    for (unsigned i = start; i < text.GetLength();) {
        unsigned end = i;
        while (end < text.GetLength() && text.GetAt(end) != L'\\')
            ++end;
        entry.Assign(text);
        entry.Truncate(end);
        CNamedDescriptor entryDescriptor(entry);
        if (entryDescriptor.Status() == ERROR_FILE_NOT_FOUND || entryDescriptor.Status() == ERROR_PATH_NOT_FOUND)
            return false;
        CNamedDescriptor parentDescriptor(parent);
        if (LetsNonAdminsMove(entryDescriptor.Get(), parentDescriptor.Get())) {
            if (where)
                where->Assign(entry);
            return true;
        }
        parent.Assign(entry);
        i = end + 1;
    }
    return false;
}
