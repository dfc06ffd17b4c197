// A product with names in many scripts (one outside the BMP), empty files,
// empty folders and deep folders: through the wizard it installs every name
// and byte as the folder holds them, and goes again with the uninstaller;
// the installers kxpack built from four real tools' ZIPs of the same folder
// hold the same files.
#include <windows.h>
#include <prsht.h>

#include <map>

#include "e2e/E2eFixture.h"
#include "archive/Extract.h"
#include "package/InstallPackage.h"
#include "res/ResourceIds.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"

namespace {

// What a folder holds, by relative path: -1 for a folder, else the size.
using TTree = std::map<std::wstring, int64_t>;

void ListTree(const std::wstring& root, const std::wstring& below, TTree& tree)
{
    WIN32_FIND_DATAW found;
    std::wstring folder = below.empty() ? root : root + L"\\" + below;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring relative = below.empty() ? name : below + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[relative] = -1;
            ListTree(root, relative, tree);
        } else {
            tree[relative] = (static_cast<int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

TTree Tree(const std::wstring& root)
{
    TTree tree;
    ListTree(root, L"", tree);
    return tree;
}

std::wstring Source()
{
    return ProgramFolder() + L"\\..\\names-product\\program";
}

std::string Narrow(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    return out;
}

// Every name of the source below `installed`, folders as folders, and every
// file's bytes alike.
void ExpectSameTree(const std::wstring& installed, const char* what)
{
    TTree expected = Tree(Source()), actual = Tree(installed);
    actual.erase(L"Uninstall.exe");
    ASSERT_GT(expected.size(), 20u) << "the product was not made";
    for (const auto& item : expected) {
        auto found = actual.find(item.first);
        if (found == actual.end()) {
            ADD_FAILURE() << what << ": missing " << Narrow(item.first);
            continue;
        }
        EXPECT_EQ(item.second, found->second) << what << ": " << Narrow(item.first);
        if (item.second > 0) {
            ByteVector want, got;
            ASSERT_TRUE(ReadBytes(Source() + L"\\" + item.first, want));
            ASSERT_TRUE(ReadBytes(installed + L"\\" + item.first, got));
            EXPECT_TRUE(want == got) << what << ": bytes of " << Narrow(item.first);
        }
    }
    for (const auto& item : actual)
        EXPECT_TRUE(expected.count(item.first)) << what << ": more than the product: " << Narrow(item.first);
}

class NamesE2eTest : public E2eTest {
protected:
    // Runs Uninstall.exe of the default folder to its end.
    void Uninstall(bool deletePersonalData)
    {
        CWizardDriver remover(ScreenshotFolder());
        DWORD exitCode = 0;
        RunUninstaller(remover, L"Kestrel Trader Uninstall", deletePersonalData, &exitCode);
    }
};

TEST_F(NamesE2eTest, EveryNameAndByteInstallsAndIsRemoved)
{
    CWizardDriver driver(ScreenshotFolder());
    InstallWithDefaults(driver, DefaultFolder(), false, Installer(L"names-setup.exe"));
    if (HasFatalFailure())
        return;
    ExpectSameTree(DefaultFolder(), "installed");
    // Among them, by name: an empty file, an empty folder, a name with a
    // surrogate pair.
    EXPECT_TRUE(Exists(DefaultFolder() + L"\\pkg\\__init__.py"));
    EXPECT_TRUE(Exists(DefaultFolder() + L"\\empty\\inner"));
    EXPECT_TRUE(Exists(DefaultFolder() + L"\\emoji \U0001F600 \U0001D11E.txt"));
    // Without the personal data the folder stays: what the installation
    // listed goes one by one, every file, empty ones too, and every folder.
    Uninstall(false);
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(CWizardDriver::WaitUntil([] { return !Exists(DefaultFolder() + L"\\Uninstall.exe"); }, 30000));
    EXPECT_EQ(TTree(), Tree(DefaultFolder()));
    EXPECT_FALSE(KeyExists());
}

TEST_F(NamesE2eTest, InAFolderThatWasThereEmptyFoldersGoAndTheUsersFilesStay)
{
    // The uninstaller may not remove this folder whole: it removes what the
    // installation listed, its empty folders too, and leaves the rest.
    ASSERT_TRUE(CreateDirectoryW(DefaultFolder().c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(DefaultFolder() + L"\\mine.txt", {'m'}));
    CWizardDriver driver(ScreenshotFolder());
    InstallWithDefaults(driver, DefaultFolder(), true, Installer(L"names-setup.exe"));
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(Exists(DefaultFolder() + L"\\empty\\inner"));
    Uninstall(true);
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(CWizardDriver::WaitUntil([] { return !Exists(DefaultFolder() + L"\\Uninstall.exe"); }, 30000));
    // The batch's "rd" of the folder comes right after; while it is under
    // way a listing of the folder came back empty now and then under load:
    // what is left is read until it settles.
    const TTree kept = {{L"mine.txt", 1}};
    TTree left;
    CWizardDriver::WaitUntil([&] { return (left = Tree(DefaultFolder())) == kept; }, 5000);
    EXPECT_EQ(kept, left);
}

TEST_F(NamesE2eTest, ReadyZipsOfFourToolsInstallTheFolder)
{
    for (const wchar_t* tool : {L"infozip", L"python", L"7zip", L"bsdtar"}) {
        std::wstring installer = Installer((L"names-" + std::wstring(tool) + L"-setup.exe").c_str());
        InstallPackage package;
        ASSERT_TRUE(package.Load(installer.c_str())) << Narrow(tool);
        CTempFolder folder;
        std::wstring target = folder.Path(L"Product");
        ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
        CPathList created;
        ASSERT_TRUE(ExtractSetupArchive(package, target.c_str(), created)) << Narrow(tool) << ": " << GetLastError();
        ExpectSameTree(target, Narrow(tool).c_str());
    }
}

} // namespace
