// This test program is linked with another package certificate than the one
// that signed the sample installer: the containers load, every signed lookup
// fails, and start-up refuses the package.
#include <gtest/gtest.h>

#include "state/State.h"
#include "app/Startup.h"
#include "support/Process.h"

namespace {

TEST(OtherCertificateTest, ContainersLoadButNothingSignedVerifies)
{
    std::wstring installer = ProgramFolder() + L"\\kestrel-setup.exe";
    InstallPackage package;
    ASSERT_TRUE(package.Load(installer.c_str()));
    CDCContainer* license = package.m_pLicense;
    ASSERT_NE(nullptr, license);
    EXPECT_NE(nullptr, package.m_pCore);

    TStrStatic<0x200> value(L"unchanged");
    EXPECT_FALSE(license->GetConfigValue(L"company_program=", value));
    EXPECT_STREQ(L"unchanged", value.GetString()); // no line was examined
    CSecureBuffer content;
    EXPECT_FALSE(license->GetBitmapRecord(content));
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(license->FindRecord(RECORD_LICENSES, &data, &size));
    EXPECT_FALSE(license->UnpackSigned(RECORD_LICENSES_SIGNATURE, data, size, content));

    EXPECT_FALSE(LoadPackageAndNames(installer.c_str()));
    EXPECT_TRUE(ProgramName.IsEmpty());
}

} // namespace
