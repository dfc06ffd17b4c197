// Start-up's first step: the package and the names, and the run mode.
#include <gtest/gtest.h>

#include "state/State.h"
#include "app/Startup.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"

namespace {

class StartupTest : public ::testing::Test {
protected:
    std::wstring Write(const std::wstring& name, const std::vector<ByteVector>& containers)
    {
        std::wstring path = m_folder.Path(name);
        EXPECT_TRUE(WriteBytes(path, ProgramFile(containers)));
        return path;
    }

    CTempFolder m_folder;
};

TEST_F(StartupTest, InstallerFillsTheNames)
{
    std::wstring installer = ProgramFolder() + L"\\kestrel-setup.exe";
    ASSERT_TRUE(LoadPackageAndNames(installer.c_str()));
    EXPECT_STREQ(L"Kestrel Trader", ProgramName.GetString());
    EXPECT_STREQ(L"Kestrel", ProgramBrief.GetString());
    EXPECT_STREQ(L"Kestrel Markets Ltd.", CompanyName.GetString());
    EXPECT_EQ(ProgramFolder(), SetupFolder.GetString());
    EXPECT_EQ(RunMode::Install, GetRunMode());
}

TEST_F(StartupTest, ModeFollowsThePackageNotTheFileName)
{
    ByteVector uninstall = ContainerBytes(CONTAINER_UNINSTALL, {{RECORD_UNINSTALL_LIST, ByteVector(1040, 0)}});
    ASSERT_TRUE(LoadPackageAndNames(Write(L"setup.exe", {LicenseContainer(MINIMAL_CONFIG), uninstall}).c_str()));
    EXPECT_EQ(RunMode::Uninstall, GetRunMode());
    EXPECT_EQ(m_folder.Root(), SetupFolder.GetString());

    ASSERT_TRUE(LoadPackageAndNames(Write(L"Uninstall.exe", {LicenseContainer(MINIMAL_CONFIG), CoreContainer()}).c_str()));
    EXPECT_EQ(RunMode::Install, GetRunMode());
}

TEST_F(StartupTest, EachRequiredNameMustHaveAValue)
{
    const wchar_t* configs[] = {
        L"company_program=P\r\ncompany_name=C\r\n",
        L"company_program=P\r\ncompany_program_brief=B\r\n",
        L"company_program_brief=B\r\ncompany_name=C\r\n",
        L"company_program=\"\r\ncompany_program_brief=B\r\ncompany_name=C\r\n",
    };
    for (const wchar_t* config : configs)
        EXPECT_FALSE(LoadPackageAndNames(Write(L"p.exe", {LicenseContainer(config), CoreContainer()}).c_str()))
            << testing::PrintToString(std::wstring(config));
    EXPECT_FALSE(LoadPackageAndNames(m_folder.Path(L"missing.exe").c_str()));
}

} // namespace
