#include "base/ProtectedFolder.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/TempFolder.h"

namespace {

// The entries of a folder's access list, and whether the parent's apply.
struct TAccessList {
    bool isProtected = false;
    std::vector<std::pair<DWORD, ACCESS_MASK>> entries; // last sub-authority of the SID, mask
};

// Wine keeps no access lists of files, so the descriptor is read before it
// is applied.
bool ReadAccessList(PSECURITY_DESCRIPTOR descriptor, TAccessList& list)
{
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present || !acl)
        return false;
    list.isProtected = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace))
            return false;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            return false;
        PSID sid = &allowed->SidStart;
        DWORD last = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
        list.entries.emplace_back(last, allowed->Mask);
    }
    return true;
}

const ACCESS_MASK WRITING = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                            FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER;

TEST(ProtectedFolderTest, OnlyAdministratorsAndTheSystemMayChangeIt)
{
    for (FolderAccess access : {FolderAccess::AdminsOnly, FolderAccess::UsersRead}) {
        CProtectedDescriptor descriptor;
        ASSERT_TRUE(descriptor.Build(access));
        ASSERT_NE(nullptr, descriptor.Attributes());
        TAccessList list;
        ASSERT_TRUE(ReadAccessList(descriptor.Get(), list));
        // The parent's entries (which may let users write) do not apply.
        EXPECT_TRUE(list.isProtected);
        bool usersRead = false;
        for (const auto& entry : list.entries) {
            bool privileged = entry.first == DOMAIN_ALIAS_RID_ADMINS || entry.first == SECURITY_LOCAL_SYSTEM_RID;
            if (!privileged) {
                EXPECT_EQ(static_cast<DWORD>(DOMAIN_ALIAS_RID_USERS), entry.first);
                EXPECT_EQ(0u, entry.second & WRITING) << "users may change the folder";
                usersRead = true;
            }
        }
        EXPECT_EQ(access == FolderAccess::UsersRead, usersRead);
    }
}

TEST(ProtectedFolderTest, AFolderThatExistsIsNotTaken)
{
    CTempFolder temp;
    std::wstring path = temp.Path(L"there");
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    EXPECT_FALSE(CreateProtectedFolder(path.c_str(), FolderAccess::AdminsOnly));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_TRUE(CreateProtectedFolder(temp.Path(L"new").c_str(), FolderAccess::AdminsOnly));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(temp.Path(L"new").c_str()));
    EXPECT_FALSE(CreateProtectedFolder(L"", FolderAccess::AdminsOnly));
}

} // namespace
