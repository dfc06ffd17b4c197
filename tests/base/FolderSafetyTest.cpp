// What the elevated program checks before it writes to or deletes from a
// folder: links on the way, and access lists that let other users change it.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include "base/LinkCheck.h"
#include "base/Str.h"
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
    // Entries for the creator of things inside become the installer's.
    EXPECT_FALSE(Changeable(L"O:SYD:(A;OICIIO;FA;;;CO)(A;;FA;;;BA)(A;OICI;0x1200a9;;;BU)"));
    // Grants on new children only: every file installed there inherits
    // them. Those for files, for folders, and for the next level alone.
    for (const wchar_t* sddl : {L"O:SYD:(A;OICIIO;0x1301bf;;;AU)(A;;FA;;;BA)", L"O:BAD:(A;OIIO;FW;;;BU)",
                                L"O:BAD:(A;CIIO;0x40;;;BU)", L"O:BAD:(A;OINPIO;SD;;;WD)"})
        EXPECT_TRUE(Changeable(sddl)) << testing::PrintToString(std::wstring(sddl));
    // CREATOR GROUP becomes the creator's primary group, all local users.
    EXPECT_TRUE(Changeable(L"O:BAD:(A;OICIIO;FA;;;CG)"));
    // A denying entry grants nothing.
    EXPECT_FALSE(Changeable(L"O:BAD:(D;OICI;FA;;;BU)(A;OICI;FA;;;BA)"));
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

// A descriptor owned by the administrators whose list holds one entry of
// `type`, built byte by byte: callback entries have no string form.
struct TOneEntry {
    SECURITY_DESCRIPTOR descriptor;
    BYTE list[256];
    BYTE owner[SECURITY_MAX_SID_SIZE];
};

void BuildOneEntry(TOneEntry& out, BYTE type, BYTE flags, ACCESS_MASK mask, WELL_KNOWN_SID_TYPE account,
                   bool objectTypes)
{
    DWORD ownerBytes = sizeof(out.owner);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, out.owner, &ownerBytes));
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidBytes = sizeof(sid);
    ASSERT_TRUE(CreateWellKnownSid(account, nullptr, sid, &sidBytes));
    BYTE entry[128] = {};
    DWORD at = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);
    if (type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE) {
        DWORD objectFlags = objectTypes ? ACE_OBJECT_TYPE_PRESENT | ACE_INHERITED_OBJECT_TYPE_PRESENT : 0;
        memcpy(entry + at, &objectFlags, sizeof(objectFlags));
        at += sizeof(DWORD);
        if (objectTypes) {
            memset(entry + at, 0x5a, 2 * sizeof(GUID));
            at += 2 * sizeof(GUID);
        }
    }
    memcpy(entry + at, sid, sidBytes);
    at += sidBytes;
    // A callback's condition follows the account.
    if (type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE) {
        memcpy(entry + at, "artx", 4);
        at += 8;
    }
    auto* header = reinterpret_cast<ACE_HEADER*>(entry);
    header->AceType = type;
    header->AceFlags = flags;
    header->AceSize = static_cast<WORD>((at + 3) & ~3u);
    memcpy(entry + sizeof(ACE_HEADER), &mask, sizeof(mask));
    auto* list = reinterpret_cast<ACL*>(out.list);
    ASSERT_TRUE(InitializeAcl(list, sizeof(out.list), ACL_REVISION_DS));
    ASSERT_TRUE(AddAce(list, ACL_REVISION_DS, MAXDWORD, entry, header->AceSize));
    ASSERT_TRUE(InitializeSecurityDescriptor(&out.descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&out.descriptor, out.owner, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&out.descriptor, TRUE, list, FALSE));
}

TEST(FolderSafetyTest, CallbackAndObjectGrantsCount)
{
    const BYTE types[] = {ACCESS_ALLOWED_CALLBACK_ACE_TYPE, ACCESS_ALLOWED_OBJECT_ACE_TYPE,
                          ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE};
    for (BYTE type : types) {
        for (bool objectTypes : {false, true}) {
            SCOPED_TRACE(testing::Message() << "type " << int(type) << ", object types " << objectTypes);
            TOneEntry users, admins, inherited;
            BuildOneEntry(users, type, 0, FILE_WRITE_DATA, WinBuiltinUsersSid, objectTypes);
            BuildOneEntry(admins, type, 0, FILE_ALL_ACCESS, WinBuiltinAdministratorsSid, objectTypes);
            BuildOneEntry(inherited, type, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE, DELETE, WinWorldSid, objectTypes);
            EXPECT_TRUE(LetsNonAdminsChange(&users.descriptor));
            EXPECT_FALSE(LetsNonAdminsChange(&admins.descriptor));
            EXPECT_TRUE(LetsNonAdminsChange(&inherited.descriptor));
        }
    }
    // An entry of a kind not known here counts as granting everything.
    TOneEntry unknown;
    BuildOneEntry(unknown, 0x13, 0, FILE_READ_DATA, WinBuiltinAdministratorsSid, false);
    EXPECT_TRUE(LetsNonAdminsChange(&unknown.descriptor));
}

bool Movable(const wchar_t* entrySddl, const wchar_t* parentSddl)
{
    PSECURITY_DESCRIPTOR entry = nullptr, parent = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(entrySddl, SDDL_REVISION_1, &entry, nullptr));
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(parentSddl, SDDL_REVISION_1, &parent, nullptr));
    bool movable = LetsNonAdminsMove(entry, parent);
    LocalFree(entry);
    LocalFree(parent);
    return movable;
}

TEST(FolderSafetyTest, MovableByNonAdminsIsJudgedFromEntryAndParent)
{
    // A drive root lets users add folders, and its inheritable grants make
    // a folder an administrator creates there theirs to rename.
    const wchar_t* root = L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;CI;LC;;;AU)"
                          L"(A;OICIIO;SDGXGWGR;;;AU)";
    EXPECT_TRUE(Movable(L"O:BAD:(A;OICI;FA;;;BA)(A;OICIID;0x1301bf;;;AU)", root));
    // What the installer makes there: protected, users read.
    const wchar_t* made = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
    EXPECT_FALSE(Movable(made, root));
    // A user's temporary folder: they may delete what it holds.
    EXPECT_TRUE(Movable(made, L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;BA)"));
    EXPECT_TRUE(Movable(made, L"O:BAD:(A;;0x40;;;BU)"));
    // The system's temporary folder: users add entries but delete none.
    EXPECT_FALSE(Movable(made, L"O:SYD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;;0x100026;;;BU)(A;OICIIO;FA;;;CO)"));
    // Rights that give the others: the list, the owner, generic all.
    for (const wchar_t* parent : {L"O:BAD:(A;;WD;;;BU)", L"O:BAD:(A;;WO;;;BU)", L"O:BAD:(A;;GA;;;BU)"})
        EXPECT_TRUE(Movable(made, parent)) << testing::PrintToString(std::wstring(parent));
    EXPECT_TRUE(Movable(L"O:BAD:(A;;SD;;;BU)", made));
    EXPECT_TRUE(Movable(L"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)", made));
    // Writing into the entry is not moving it; grants for children neither.
    EXPECT_FALSE(Movable(L"O:BAD:(A;;0x116;;;BU)(A;OICIIO;SD;;;BU)", made));
}

TEST(FolderSafetyTest, PathsAreWalkedBelowTheSystemsFolders)
{
    wchar_t windows[MAX_PATH], programs[MAX_PATH];
    ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, programs, CSIDL_PROGRAM_FILES, FALSE));
    std::wstring temp = std::wstring(windows) + L"\\Temp";
    EXPECT_EQ(temp.size(), GetSystemFolderLength((temp + L"\\kx\\batch").c_str()));
    EXPECT_EQ(wcslen(programs), GetSystemFolderLength((std::wstring(programs) + L"\\Kestrel").c_str()));
    EXPECT_EQ(3u, GetSystemFolderLength(L"C:\\Apps\\Kestrel"));
    EXPECT_EQ(3u, GetSystemFolderLength(L"C:\\Program Filesx\\Kestrel")) << "a name that merely begins alike";
    EXPECT_EQ(0u, GetSystemFolderLength(L"relative\\path"));

    // The system's folders themselves are not judged, and a folder not yet
    // made ends the walk: a new folder under them raises nothing.
    TStrStatic<MAX_PATH> where;
    EXPECT_FALSE(IsPathMovableByNonAdmins(temp.c_str(), &where));
    EXPECT_FALSE(IsPathMovableByNonAdmins((std::wstring(programs) + L"\\kx-missing\\sub").c_str(), &where));
    // Nothing vouches for relative and device paths.
    EXPECT_TRUE(IsPathMovableByNonAdmins(L"relative\\path", &where));
    EXPECT_TRUE(IsPathMovableByNonAdmins(L"\\\\?\\C:\\x", &where));
    // A user's temporary folder lies in their profile, which they may
    // rename (Wine reports every folder as the user's own): the first such
    // folder is named.
    CTempFolder root;
    std::wstring path = root.Path(L"made");
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    ASSERT_TRUE(IsPathMovableByNonAdmins(path.c_str(), &where));
    EXPECT_EQ(0, _wcsnicmp(path.c_str(), where, where.GetLength())) << testing::PrintToString(std::wstring(where));
    EXPECT_LT(where.GetLength(), path.size());
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
