// What the elevated program checks before it writes to or deletes from a
// folder: links on the way, and access lists that let other users change it.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "base/LinkCheck.h"
#include "base/WritableFolder.h"
#include "support/TempFolder.h"
#include "support/UnixLink.h"

namespace {

bool Changeable(const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    bool changeable = LetsNonAdminsChange(descriptor);
    LocalFree(descriptor);
    return changeable;
}

TEST(FolderSafetyTest, ChangeableByNonAdminsIsJudgedFromTheDescriptor)
{
    // What the installer gives a new folder, and a system folder's list.
    EXPECT_FALSE(Changeable(L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"));
    EXPECT_FALSE(Changeable(L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
                            L"D:(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
                            L"(A;;0x1200a9;;;WD)"));
    // Entries for the creator of things inside do not apply to the folder.
    EXPECT_FALSE(Changeable(L"O:SYD:(A;OICIIO;FA;;;CO)(A;OICIIO;0x1301bf;;;AU)(A;;FA;;;BA)"));
    // A folder below a drive root inherits "Authenticated Users: Modify".
    EXPECT_TRUE(Changeable(L"O:BAD:(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)"));
    // Any one of the rights to change suffices: append, delete a child, the
    // access list, the owner.
    for (const wchar_t* sddl : {L"O:BAD:(A;;0x4;;;BU)", L"O:BAD:(A;;0x40;;;IU)", L"O:BAD:(A;;WD;;;WD)",
                                L"O:BAD:(A;;WO;;;S-1-5-21-1-2-3-1001)", L"O:BAD:(A;;GW;;;BU)"})
        EXPECT_TRUE(Changeable(sddl)) << testing::PrintToString(std::wstring(sddl));
    // An owner who is not an administrator may rewrite the list at will.
    EXPECT_TRUE(Changeable(L"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)"));
    // No access list at all: everyone may do everything.
    PSECURITY_DESCRIPTOR owned = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BA", SDDL_REVISION_1, &owned, nullptr));
    SECURITY_DESCRIPTOR open;
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(owned, &owner, &defaulted));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&open, owner, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_TRUE(LetsNonAdminsChange(&open));
    LocalFree(owned);
}

TEST(FolderSafetyTest, LinksBelowTheRootAreFound)
{
    CTempFolder root;
    std::wstring install = root.Path(L"inst");
    ASSERT_TRUE(CreateDirectoryW(install.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(root.Path(L"outside").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(root.Path(L"inst\\real").c_str(), nullptr));
    ASSERT_TRUE(MakeUnixLink(root.Path(L"inst\\data"), "../outside"));
    ASSERT_TRUE(MakeUnixLink(root.Path(L"link"), "inst"));

    EXPECT_TRUE(IsFreeOfLinks(root.Path(L"inst\\real\\file.dll").c_str(), root.Root().c_str()));
    EXPECT_TRUE(IsFreeOfLinks(root.Path(L"inst\\new\\deeper\\file.dll").c_str(), root.Root().c_str()))
        << "what does not exist yet holds no link";
    for (const wchar_t* path : {L"inst\\data\\planted.dll", L"inst\\data", L"link\\real\\file.dll"}) {
        SetLastError(0);
        EXPECT_FALSE(IsFreeOfLinks(root.Path(path).c_str(), root.Root().c_str())) << path;
        EXPECT_EQ(static_cast<DWORD>(ERROR_STOPPED_ON_SYMLINK), GetLastError()) << path;
    }
    // Only the part below the root is looked at; a path elsewhere is refused.
    EXPECT_TRUE(IsFreeOfLinks(root.Path(L"link\\real\\file.dll").c_str(), root.Path(L"link").c_str()));
    EXPECT_FALSE(IsFreeOfLinks(root.Path(L"outside\\x").c_str(), install.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), GetLastError());

    CLinkFreeFolders folders(root.Root().c_str());
    EXPECT_TRUE(folders.Check(install.c_str()));
    EXPECT_TRUE(folders.Check(root.Path(L"inst\\real").c_str()));
    EXPECT_FALSE(folders.Check(root.Path(L"inst\\data\\sub").c_str()));
    EXPECT_TRUE(RemoveUnixLink(root.Path(L"link")));
    EXPECT_TRUE(RemoveUnixLink(root.Path(L"inst\\data")));
}

} // namespace
