#include "base/WritableFolder.h"

#include <aclapi.h>
#include <sddl.h>

#include <cwchar>

namespace {

const ACCESS_MASK CHANGE_RIGHTS = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// Administrators, the local system, and the service that owns system files.
const wchar_t* const TRUSTED_SIDS[] = {
    L"S-1-5-32-544",
    L"S-1-5-18",
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
};

bool IsTrusted(PSID sid)
{
    wchar_t* text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text))
        return false;
    bool trusted = false;
    for (const wchar_t* known : TRUSTED_SIDS)
        trusted = trusted || wcscmp(text, known) == 0;
    LocalFree(text);
    return trusted;
}

} // namespace

bool LetsNonAdminsChange(PSECURITY_DESCRIPTOR descriptor)
{
    if (!descriptor)
        return true;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner && !IsTrusted(owner))
        return true;
    BOOL present = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present || !list)
        return true; // no access list: everyone may do everything
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(list, i, &entry))
            return true;
        auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & CHANGE_RIGHTS) && !IsTrusted(&allowed->SidStart))
            return true;
    }
    return false;
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
